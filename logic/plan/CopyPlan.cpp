// The plan of the copy, made from one walk of the medium.
#include "logic/plan/CopyPlan.h"

#include "logic/view/RetryBoxes.h"
#include "logic/shared/PathText.h"
#include "logic/shared/FormatText.h"
#include "logic/plan/TreeWalk.h"

// Keeps every entry the walk finds; a step that cannot be held is asked
// about as the file or folder it is, until it can or the user cancels.
class CopyPlan::Planner : public TreeVisitor {
public:
    Planner(CopyPlan& plan, InstallerView& view) : plan_(plan), view_(view) {}

    bool VisitFile(const TreeEntry& file) override { return Keep(file, false); }
    bool EnterFolder(const TreeEntry& folder) override { return Keep(folder, true); }

private:
    bool Keep(const TreeEntry& entry, bool folder) {
        while (!plan_.Add(entry.sourceFolder, entry.found, folder)) {
            if (!AskRetryCopy(view_, entry.sourceFolder, entry.destinationFolder, entry.found.cFileName,
                              ERROR_NOT_ENOUGH_MEMORY)) {
                return false;
            }
        }
        return true;
    }

    CopyPlan& plan_;
    InstallerView& view_;
};

bool CopyPlan::Make(InstallerView& view, const wchar_t* source, const wchar_t* destination) {
    records_.Clear();
    text_.Clear();
    bytes_ = 0;
    // Both fit: the destination is a made full path, and the source the
    // installer's own folder.
    CopyPath(source_, source);
    CopyPath(destination_, destination);
    if (!Append(L"", lastWithin_)) return false;
    Planner planner(*this, view);
    return WalkTree(view, planner, source, destination);
}

bool CopyPlan::Append(const wchar_t* text, DWORD& offset) {
    offset = static_cast<DWORD>(text_.Count());
    return text_.Append(text, lstrlenW(text) + 1);
}

bool CopyPlan::Add(const wchar_t* sourceFolder, const WIN32_FIND_DATAW& found, bool folder) {
    // The folder below the source's root: what follows the root and its separator.
    const wchar_t* within = sourceFolder + lstrlenW(source_.text);
    if (*within == L'\\') ++within;
    Record record = {folder, (static_cast<ULONGLONG>(found.nFileSizeHigh) << 32) | found.nFileSizeLow,
                     found.ftLastWriteTime, lastWithin_, 0};
    // A folder's steps come together.
    if (CompareCodeUnits(&text_[lastWithin_], within) != 0 && !Append(within, record.within)) return false;
    if (!Append(found.cFileName, record.name) || !records_.Append(&record, 1)) return false;
    lastWithin_ = record.within;
    if (!folder) bytes_ += record.size;
    return true;
}

CopyPlan::Step CopyPlan::At(int index) const {
    const Record& record = records_[index];
    return {record.folder, record.size, record.lastWrite, &text_[record.within], &text_[record.name]};
}

namespace {

// `root`, or `root`\`within` below it.
void FolderBelow(LongPath& out, const wchar_t* root, const wchar_t* within) {
    if (*within == L'\0') {
        FormatText(out.text, LongPath::capacity, L"%s", {root});
    } else {
        FormatText(out.text, LongPath::capacity, JoinFormat(root), {root, within});
    }
}

}  // namespace

void CopyPlan::Folders(const Step& step, LongPath& source, LongPath& destination) const {
    FolderBelow(source, source_.text, step.within);
    FolderBelow(destination, destination_.text, step.within);
}

bool CopyPlan::SourcePath(const Step& step, LongPath& path) const {
    LongPath folder;
    FolderBelow(folder, source_.text, step.within);
    return JoinPath(path, folder.text, step.name);
}

bool CopyPlan::DestinationPath(const Step& step, ShortPath& path) const {
    LongPath folder;
    FolderBelow(folder, destination_.text, step.within);
    return JoinPath(path, folder.text, step.name);
}
