#!/usr/bin/env python3
"""Checks the built HD.EXE with tools that share nothing with the build:
objdump (imports, subsystem), exiftool (version block), wrestool (resources),
a parse of the compiled dialog template and of the application manifest.
Usage: check_executable.py HD.EXE"""
import os
import re
import struct
import subprocess
import sys
import xml.etree.ElementTree

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), '..', 'support'))
from checks import check, finish  # noqa: E402

# The tools' own messages must not be translated (objdump's "DLL Name:").
ENV = dict(os.environ, LC_ALL='C.UTF-8')

exe = sys.argv[1]


def run(*command):
    return subprocess.run(command, capture_output=True, check=True, env=ENV).stdout


dump = run('i686-w64-mingw32-objdump', '-p', exe).decode()
# The import table: "DLL Name: X", a header, then one row a function,
# "vma  hint  name", or "vma  ordinal  <none>" for an import by ordinal only;
# a blank line ends the DLL.
imported, dll = {}, None
for line in dump.splitlines():
    row = re.match(r'\t[0-9a-fA-F]+\t\s*(\d+)\s+(\S+)', line)
    if 'DLL Name:' in line:
        dll = line.split(':', 1)[1].strip().lower()
        imported.setdefault(dll, [])
    elif dll and row:
        imported[dll].append('#' + row[1] if row[2] == '<none>' else row[2])
    elif not line.strip():
        dll = None
system = {'kernel32.dll', 'user32.dll', 'gdi32.dll', 'shell32.dll', 'ole32.dll', 'oleaut32.dll', 'advapi32.dll',
          'msvcrt.dll', 'comctl32.dll', 'shlwapi.dll'}
check(imported and set(imported) <= system, f'imports only Windows system DLLs: {sorted(imported)}')

# Windows XP is the oldest Windows the installer runs on (95, 98 and Me lack
# most wide functions), so every function it imports has to exist there. Per
# DLL, the functions whose page in Microsoft's Win32 API reference
# (learn.microsoft.com/windows/win32/api/, "Requirements") names Windows XP or
# Windows 2000 Professional as the minimum supported client; the pages go no
# further back than that, so "Windows XP" there means XP or earlier. The A and
# W forms share a page ("Unicode and ANSI names"). To add a function, look up
# its minimum supported client and add it only if that is Windows XP or
# earlier; a page that names no minimum client does not count.
XP = {dll: set(names.split()) for dll, names in {
    'kernel32.dll': '''
        CloseHandle CompareFileTime CopyFileA CopyFileExW CopyFileW CreateDirectoryA CreateDirectoryW CreateEventA
        CreateHardLinkW CreateSemaphoreW FlushFileBuffers GetFileSizeEx ReleaseSemaphore RemoveDirectoryW lstrcpyW
        WaitForMultipleObjects
        CreateEventW CreateFileA CreateFileW CreateMutexW CreateProcessA CreateProcessW CreateThread
        DeleteCriticalSection DeleteFileA DeleteFileW DeviceIoControl EnterCriticalSection ExitProcess FindClose FindFirstFileA
        FindFirstFileW FindNextFileA FindNextFileW FormatMessageA FormatMessageW FreeLibrary GetCompressedFileSizeA
        GetCompressedFileSizeW GetCurrentDirectoryA GetCurrentDirectoryW GetCurrentProcess GetCurrentThreadId
        GetDiskFreeSpaceA GetDiskFreeSpaceExA GetDiskFreeSpaceExW GetDiskFreeSpaceW GetDriveTypeA GetDriveTypeW
        GetExitCodeThread GetFileAttributesA GetFileAttributesExA GetFileAttributesExW GetFileAttributesW
        GetFileInformationByHandle GetFullPathNameA GetFullPathNameW GetLastError GetModuleFileNameA
        GetModuleFileNameW GetModuleHandleA GetModuleHandleW GetProcAddress GetProcessHeap GetStartupInfoA
        GetStartupInfoW GetTickCount GetVolumeInformationA GetVolumeInformationW GetVolumePathNameA GetVolumePathNameW
        HeapAlloc HeapFree HeapReAlloc InitializeCriticalSection LeaveCriticalSection LoadLibraryA LoadLibraryW
        LocalFree lstrcatA lstrcatW
        lstrcmpA lstrcmpiA lstrcmpiW lstrcmpW lstrcpynA lstrcpynW lstrlenA lstrlenW MoveFileExA MoveFileExW MulDiv
        MultiByteToWideChar ReadFile SetEvent SetFileAttributesA SetFileAttributesW SetFileTime SetLastError
        SetUnhandledExceptionFilter Sleep TlsGetValue VirtualAlloc VirtualFree VirtualProtect VirtualQuery
        WaitForSingleObject WideCharToMultiByte WinExec WriteFile''',
    'user32.dll': '''
        CharUpperBuffA CharUpperBuffW DefWindowProcA DefWindowProcW DestroyIcon DialogBoxParamA DialogBoxParamW DispatchMessageA DispatchMessageW
        EnableWindow EndDialog FindWindowA FindWindowW GetActiveWindow GetDC GetDlgItem GetDlgItemTextA GetDlgItemTextW
        GetLastActivePopup GetSystemMetrics GetWindow GetWindowLongA GetWindowLongW GetWindowRect GetWindowTextLengthA
        GetWindowTextLengthW GetWindowThreadProcessId IsIconic IsWindowEnabled KillTimer LoadCursorA LoadCursorW
        LoadImageA LoadImageW LoadStringA LoadStringW MessageBoxA MessageBoxW MsgWaitForMultipleObjects PeekMessageA
        PeekMessageW PostMessageA PostMessageW RegisterWindowMessageW ReleaseDC SendMessageA SendMessageW SetCursor
        SetDlgItemTextA SetDlgItemTextW SetForegroundWindow SetTimer SetWindowLongA SetWindowLongW SetWindowPos
        SetWindowTextA SetWindowTextW ShowWindow SystemParametersInfoA SystemParametersInfoW TranslateMessage
        WaitForInputIdle wsprintfA wsprintfW''',
    'gdi32.dll': 'GetDeviceCaps',
    'advapi32.dll': 'GetTokenInformation OpenProcessToken RegCloseKey RegOpenKeyExA RegOpenKeyExW RegQueryValueExA '
                    'RegQueryValueExW',
    'ole32.dll': 'CoCreateInstance CoInitialize CoTaskMemFree CoUninitialize',
    'shell32.dll': 'SHBrowseForFolderA SHBrowseForFolderW SHGetFolderPathA SHGetFolderPathW SHGetMalloc '
                   'SHGetPathFromIDListA SHGetPathFromIDListW',
    'shlwapi.dll': 'StrFormatByteSizeW',
    # Their reference pages name no Windows version. Microsoft's KB 139071
    # ("OLE Automation BSTR caching ...") documents the SysAllocString and
    # SysFreeString of Oleaut32.dll on Windows NT 3.51 to 2000 and 95/98, and
    # their cache on Windows XP and Server 2003.
    'oleaut32.dll': 'SysAllocString SysFreeString',
    # Its reference page now names Windows Vista; "Enabling Visual Styles"
    # documents that a program must call it on Windows XP to get the styled
    # controls of Common Controls 6, which XP ships.
    'comctl32.dll': 'InitCommonControls',
    # The C runtime's start-up and the C functions it uses. Their pages name
    # no Windows version; MinGW-w64 links them from the msvcrt.dll that
    # Windows itself carries, and by default targets its version 7.0
    # (__MSVCRT_VERSION__ 0x700 in _mingw.h), the one of Windows XP.
    'msvcrt.dll': '''
        __getmainargs __initenv __p__acmdln __p__commode __p__fmode __p__wcmdln __set_app_type __setusermatherr
        __wgetmainargs __winitenv _amsg_exit _cexit _initterm _iob _onexit abort calloc exit fprintf free fwrite
        malloc memcpy signal strlen strncmp vfprintf''',
}.items()}
functions = [(dll, name) for dll, names in sorted(imported.items()) for name in names]
for dll, name in functions:
    if name.startswith('#'):
        check(False, f'{dll}!{name} is imported by ordinal only: not known to exist on Windows XP')
    elif name not in XP.get(dll, ()):
        check(False, f'{dll}!{name} is not known to exist on Windows XP')
check(functions, f'{len(functions)} imported functions read from the import table')
check('file format pei-i386' in dump, '32-bit x86 executable')
check('(Windows GUI)' in dump, 'GUI subsystem')

info = run('exiftool', '-S', '-charset', 'UTF8', exe).decode()
fields = dict(line.split(': ', 1) for line in info.splitlines() if ': ' in line)
expected = {
    'FileVersionNumber': '1.0.0.1', 'ProductVersionNumber': '1.0.0.1', 'FileOS': 'Win32',
    'ObjectFileType': 'Executable application', 'LanguageCode': 'Russian', 'CharacterSet': 'Unicode',
    'Comments': 'Инсталяция программы Зеларит:Орвента', 'FileVersion': '1, 0, 0, 1',
    'InternalName': 'HD', 'OriginalFileName': 'HD.EXE', 'ProductVersion': '1, 0, 0, 1',
}
for key, value in expected.items():
    check(fields.get(key) == value, f'version {key} = {value!r} (got {fields.get(key)!r})')
check(fields.get('FileFlags', '') in ('', '(none)'), f'no file flags (got {fields.get("FileFlags")!r})')

listing = run('wrestool', '-l', exe).decode()
for kind, name in (('5', '129'), ('6', '9'), ('14', '128'), ('16', '1')):
    check(f'--type={kind} --name={name} --language=1049' in listing, f'resource type {kind} name {name} in Russian')
check('--type=24 --name=1 --language=0 ' in listing, 'manifest: resource type 24 name 1, language neutral')
icons = [line for line in listing.splitlines() if '--type=3 ' in line]
check(len(icons) == 2, f'two icon images (got {len(icons)})')

# The icon group lists each image's size and colours; the image itself carries
# a bitmap header that has to agree (16 colours = 4 bits per pixel).
group = run('wrestool', '-x', '--raw', '--type=14', '--name=128', exe)
images = []
for index in range(struct.unpack_from('<H', group, 4)[0]):
    width, height, colours, _, _, bits, _, name = struct.unpack_from('<BBBBHHIH', group, 6 + 14 * index)
    image = run('wrestool', '-x', '--raw', '--type=3', f'--name={name}', exe)
    header_width, header_height, _, header_bits = struct.unpack_from('<iiHH', image, 4)
    images.append((width, height, colours, bits, header_width, header_height // 2, header_bits))
check(sorted(images) == [(16, 16, 16, 4, 16, 16, 4), (32, 32, 16, 4, 32, 32, 4)],
      f'icon images 32x32 and 16x16 in 16 colours (got {images})')

block = run('wrestool', '-x', '--raw', '--type=6', '--name=9', exe)  # strings 128..143
at, strings = 0, []
while at < len(block):
    length = struct.unpack_from('<H', block, at)[0]
    strings.append(block[at + 2:at + 2 + 2 * length].decode('utf-16-le'))
    at += 2 + 2 * length
paragraphs = [
    'Требуемый объем свободного пространства на жестком диске - 500 Мб.',
    'Для установки программы нажмите кнопку "Извлечь". Установка займет несколько минут.',
    'После установки программы на жесткий диск использование компакт-диска не требуется.',
    'Для запуска программы с жесткого диска используйте ярлык на рабочем столе или файл %s, '
    'находящийся в папке назначения.',
    'Папку назначения рекомендуется не изменять.',
    'ВНИМАНИЕ! Если Вы не хотите устанавливать программу на жесткий диск, нажмите кнопку "Отмена". '
    'Дальнейшая работа с системой будет доступна с компакт-диска.',
]
check(len(strings) > 1 and strings[1] == '\r\n\r\n'.join(paragraphs), 'string 129 is the information text')


def read_text(data, at):
    end = at
    while data[end:end + 2] != b'\0\0':
        end += 2
    return data[at:end].decode('utf-16-le'), end + 2


def read_item(data, at):  # a class, menu or title: 0xFFFF + ordinal, or text
    if data[at:at + 2] == b'\xff\xff':
        return struct.unpack_from('<H', data, at + 2)[0], at + 4
    return read_text(data, at)


template = run('wrestool', '-x', '--raw', '--type=5', '--name=129', exe)
style, exstyle, count, x, y, cx, cy = struct.unpack_from('<IIHhhhh', template, 0)
check(style == 0x00CA0840 and exstyle == 0, f'dialog style 0x{style:08X}, extended 0x{exstyle:X}')
check((cx, cy) == (277, 206), f'dialog size {cx}x{cy}')
at = 18
menu, at = read_item(template, at)
klass, at = read_item(template, at)
caption, at = read_text(template, at)
check(caption == 'Установка программы Зеларит:Орвента', f'caption {caption!r}')
points = struct.unpack_from('<H', template, at)[0]
font, at = read_text(template, at + 2)
check((points, font) == (8, 'MS Shell Dlg'), f'font {font!r} {points}')

controls = []
for _ in range(count):
    at = (at + 3) & ~3
    cstyle, cexstyle, cx_, cy_, cw, ch, cid = struct.unpack_from('<IIhhhhH', template, at)
    at += 18
    cclass, at = read_item(template, at)
    # The class may be stored as the predefined atom or by name; both mean the same.
    cclass = {'BUTTON': 0x80, 'EDIT': 0x81, 'STATIC': 0x82}.get(str(cclass).upper(), cclass)
    title, at = read_text(template, at) if template[at:at + 2] != b'\xff\xff' else read_item(template, at)
    extra = struct.unpack_from('<H', template, at)[0]
    at += 2 + extra
    controls.append((cclass, cid, title, (cx_, cy_, cw, ch), cstyle, cexstyle))

BUTTON, EDIT, STATIC = 0x80, 0x81, 0x82
expected_controls = [
    (STATIC, 0xFFFF, 'Папка назначения:', (5, 145, 66, 8), 0x50020000, 0),
    (EDIT, 1000, '', (5, 155, 210, 12), 0x50810080, 0),
    (BUTTON, 1001, '&Обзор', (220, 155, 50, 15), 0x50010000, 0),
    (BUTTON, 1, 'Извлечь', (165, 180, 50, 14), 0x50010001, 0),
    (BUTTON, 2, 'Отмена', (221, 180, 50, 14), 0x50010000, 0),
    (EDIT, 1003, '', (5, 5, 265, 135), 0x50A10804, 0),
]
check(len(controls) == 6, f'six controls (got {len(controls)})')
for got, want in zip(controls, expected_controls):
    check(got == want, f'control {want[1]}: got class 0x{got[0]:X} {got[2]!r} {got[3]} '
                       f'style 0x{got[4]:08X} ex 0x{got[5]:X}')


# The application manifest, every element with its exact value and nothing
# besides. Windows XP's parser refuses an unknown element in the asm.v1
# namespace and (before a hotfix) crashed on an element that declares one
# namespace twice: so every newer element carries its own namespace, declared
# once, as the default, and no prefix is used anywhere.
manifest = run('wrestool', '-x', '--raw', '--type=24', '--name=1', exe)
check(manifest.startswith(b'<?xml version="1.0" encoding="UTF-8" standalone="yes"?>\n'), 'manifest: UTF-8 declaration')
check(manifest.isascii(), 'manifest: ASCII only')
tags = re.findall(rb'<([^?!/][^>]*)>', manifest)
check(tags and not any(b':' in tag.split()[0] for tag in tags), 'manifest: no namespace prefixes')
check(tags and all(tag.count(b'xmlns') <= 1 for tag in tags), 'manifest: at most one namespace declaration an element')
ASM1, ASM3 = 'urn:schemas-microsoft-com:asm.v1', 'urn:schemas-microsoft-com:asm.v3'
COMPAT, SETTINGS = 'urn:schemas-microsoft-com:compatibility.v1', 'http://schemas.microsoft.com/SMI/2005/WindowsSettings'
SETTINGS2016 = 'http://schemas.microsoft.com/SMI/2016/WindowsSettings'
identity = {'type': 'win32', 'name': 'Zelarit.Orventa.Installer', 'version': '1.0.0.1', 'processorArchitecture': 'x86'}
controls = {'type': 'win32', 'name': 'Microsoft.Windows.Common-Controls', 'version': '6.0.0.0',
            'processorArchitecture': 'x86', 'publicKeyToken': '6595b64144ccf1df', 'language': '*'}
windows = {'Vista': 'e2011457-1546-43c5-a5fe-008deee3d3f0', '7': '35138b9a-5d96-4fbd-8e2d-a2440225f93a',
           '8': '4a2f28e3-53b9-4441-ba9c-d69d4a4a6e38', '8.1': '1f676c76-80e1-4239-95bb-83d0f6d0da78',
           '10 and 11': '8e0f7a12-bfb3-4fe8-b9a5-48fd50a15a9a'}
expected_manifest = [  # element path, attributes, text
    (f'{{{ASM1}}}assembly', {'manifestVersion': '1.0'}, ''),
    (f'{{{ASM1}}}assembly/{{{ASM1}}}assemblyIdentity', identity, ''),
    (f'{{{ASM1}}}assembly/{{{ASM1}}}dependency', {}, ''),
    (f'{{{ASM1}}}assembly/{{{ASM1}}}dependency/{{{ASM1}}}dependentAssembly', {}, ''),
    (f'{{{ASM1}}}assembly/{{{ASM1}}}dependency/{{{ASM1}}}dependentAssembly/{{{ASM1}}}assemblyIdentity', controls, ''),
    (f'{{{ASM1}}}assembly/{{{ASM3}}}trustInfo', {}, ''),
    (f'{{{ASM1}}}assembly/{{{ASM3}}}trustInfo/{{{ASM3}}}security', {}, ''),
    (f'{{{ASM1}}}assembly/{{{ASM3}}}trustInfo/{{{ASM3}}}security/{{{ASM3}}}requestedPrivileges', {}, ''),
    (f'{{{ASM1}}}assembly/{{{ASM3}}}trustInfo/{{{ASM3}}}security/{{{ASM3}}}requestedPrivileges/'
     f'{{{ASM3}}}requestedExecutionLevel', {'level': 'highestAvailable', 'uiAccess': 'false'}, ''),
    (f'{{{ASM1}}}assembly/{{{COMPAT}}}compatibility', {}, ''),
    (f'{{{ASM1}}}assembly/{{{COMPAT}}}compatibility/{{{COMPAT}}}application', {}, ''),
] + [
    (f'{{{ASM1}}}assembly/{{{COMPAT}}}compatibility/{{{COMPAT}}}application/{{{COMPAT}}}supportedOS',
     {'Id': '{' + guid + '}'}, '') for guid in windows.values()
] + [
    (f'{{{ASM1}}}assembly/{{{ASM3}}}application', {}, ''),
    (f'{{{ASM1}}}assembly/{{{ASM3}}}application/{{{ASM3}}}windowsSettings', {}, ''),
    (f'{{{ASM1}}}assembly/{{{ASM3}}}application/{{{ASM3}}}windowsSettings/{{{SETTINGS}}}dpiAware', {}, 'true'),
    (f'{{{ASM1}}}assembly/{{{ASM3}}}application/{{{ASM3}}}windowsSettings/{{{SETTINGS2016}}}dpiAwareness', {},
     'PerMonitorV2, System'),
]


def elements(element, parent=''):
    path = f'{parent}/{element.tag}' if parent else element.tag
    yield path, dict(element.attrib), (element.text or '').strip()
    for child in element:
        yield from elements(child, path)


try:
    got_manifest = list(elements(xml.etree.ElementTree.fromstring(manifest)))
except xml.etree.ElementTree.ParseError as error:
    got_manifest = [('not XML', {}, str(error))]
missing = [e for e in expected_manifest if e not in got_manifest]
extra = [e for e in got_manifest if e not in expected_manifest]
for path, attributes, text in missing:
    check(False, f'manifest: {path.rsplit("}", 1)[-1]} {attributes} {text!r} missing or different')
for path, attributes, text in extra:
    check(False, f'manifest: unexpected {path} {attributes} {text!r}')
check(not missing and not extra and len(got_manifest) == len(expected_manifest),
      f'manifest: {len(expected_manifest)} elements as expected: highestAvailable, Windows '
      f'{", ".join(windows)}, dpiAware true, dpiAwareness PerMonitorV2 then System, Common Controls 6 for x86')

finish()
