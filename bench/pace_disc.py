#!/usr/bin/env python3
"""Writes the product folder of the paced bench's disc, a product CD of the
usual shape: one 24 MB film, 30 maps of 400 KB and 300 small files of 16 KB.
Folder names mix upper and lower case, Latin and Cyrillic; within a folder
the files are named alike, as one tool or author names them. The same bytes
every time.
Usage: pace_disc.py FOLDER MAIN_PROGRAM"""
import os
import random
import shutil
import sys

KB, MB = 1 << 10, 1 << 20
MAPS = ['Арктика', 'Берег', 'Восток', 'Долина', 'Залив', 'Остров', 'Север', 'Степь', 'Тайга', 'Юг',
        'Ущелье', 'Плато', 'Ёлкино', 'Яр', 'Delta', 'Fjord', 'Highlands', 'Lagoon', 'Mesa', 'Oasis',
        'Prairie', 'Reef', 'Savanna', 'Tundra', 'Valley', 'Wetlands', 'Atoll', 'Canyon', 'Basin', 'Glacier']
# Ten words a folder, ten files a word: "bell01.wav" ... "wind10.wav".
SMALL = {
    'data/sounds': (['bell', 'crowd', 'door', 'fire', 'horse', 'rain', 'step', 'sword', 'water', 'wind'], '{}{:02}.wav'),
    'data/Textures': (['Brick', 'Grass', 'Ice', 'Moss', 'Rock', 'Sand', 'Snow', 'Stone', 'Wood', 'Wall'], '{}_{:02}.dds'),
    'Тексты': (['Глава', 'Письмо', 'Дневник', 'Карта', 'Легенда', 'Песня', 'Сказание', 'Хроника', 'Указ', 'Свиток'],
               '{} {:02}.txt'),
}


def main():
    folder, program = sys.argv[1:3]
    shutil.rmtree(folder, ignore_errors=True)
    data = random.Random(28)
    files = {'Video/Orventa.avi': 24 * MB}
    files.update({f'Карты/{name}.map': 400 * KB for name in MAPS})
    for where, (words, pattern) in SMALL.items():
        files.update({f'{where}/{pattern.format(word, n)}': 16 * KB for word in words for n in range(1, 11)})
    for path, size in files.items():
        os.makedirs(os.path.dirname(os.path.join(folder, path)), exist_ok=True)
        with open(os.path.join(folder, path), 'wb') as out:
            out.write(data.randbytes(size))
    shutil.copy(program, os.path.join(folder, 'zel_or.exe'))


if __name__ == '__main__':
    main()
