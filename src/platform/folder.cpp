#include "platform/folder.h"

#include <cstring>
#include <utility>

#if defined(_WIN32)
#include <windows.h>

#include "platform/wide_path.h"
#else
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdlib>
#endif

namespace quillon {
namespace {

bool IsDotName(const char* name) { return !std::strcmp(name, ".") || !std::strcmp(name, ".."); }

}  // namespace

#if defined(_WIN32)

namespace {

// An empty removable drive fails the call instead of asking for a disk in a message box.
struct QuietDriveErrors {
    DWORD old = 0;
    BOOL set;
    QuietDriveErrors() : set(SetThreadErrorMode(SEM_FAILCRITICALERRORS, &old)) {}
    ~QuietDriveErrors() {
        if (set) SetThreadErrorMode(old, nullptr);
    }
};

struct FileHandle {
    HANDLE handle;
    ~FileHandle() {
        if (handle != INVALID_HANDLE_VALUE) CloseHandle(handle);
    }
};

struct FindHandle {
    HANDLE handle;
    ~FindHandle() {
        if (handle != INVALID_HANDLE_VALUE) FindClose(handle);
    }
};

// What the path leads to, links and junctions followed; opening asks for no access to the contents.
HANDLE OpenFollowing(const wchar_t* path) {
    return CreateFileW(path, 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                       FILE_FLAG_BACKUP_SEMANTICS, nullptr);
}

FolderEntryKind FollowedKind(const WidePath& path) {
    FileHandle file{OpenFollowing(path.c_str())};
    BY_HANDLE_FILE_INFORMATION info;
    if (file.handle == INVALID_HANDLE_VALUE || !GetFileInformationByHandle(file.handle, &info))
        return FolderEntryKind::kOther;
    return (info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) ? FolderEntryKind::kFolder : FolderEntryKind::kFile;
}

bool Environment(const wchar_t* name, WidePath* out) {
    const DWORD need = GetEnvironmentVariableW(name, nullptr, 0);
    if (need == 0) return false;
    out->assign(need, L'\0');
    const DWORD got = GetEnvironmentVariableW(name, out->data(), need);
    if (got == 0 || got >= need) return false;
    out->resize(got);
    return true;
}

void AddRoot(WidePath base, const wchar_t* tail, PathList* out) {
    while (!base.empty() && (base.back() == L'\\' || base.back() == L'/')) base.pop_back();
    if (base.empty()) return;
    base += tail;
    PathText root;
    if (WIDE_ToUtf8(base.data(), base.size(), &root)) out->push_back(std::move(root));
}

}  // namespace

int FOLDER_List(const char* path, size_t max_entries, FolderEntries* out, bool* truncated) {
    out->clear();
    *truncated = false;
    WidePath folder;
    if (!WIDE_FromUtf8(path, &folder) || folder.empty()) return 0;
    if (folder.back() != L'\\' && folder.back() != L'/') folder += L'\\';
    const WidePath pattern = folder + L"*";
    QuietDriveErrors quiet;
    WIN32_FIND_DATAW data;
    FindHandle find{FindFirstFileExW(pattern.c_str(), FindExInfoBasic, &data, FindExSearchNameMatch, nullptr, 0)};
    if (find.handle == INVALID_HANDLE_VALUE) return GetLastError() == ERROR_FILE_NOT_FOUND ? 1 : 0;
    do {
        FolderEntry item{PathText(), FolderEntryKind::kOther, false};
        // A name with an unpaired surrogate has no UTF-8 form: no path could name it back.
        if (!WIDE_ToUtf8(data.cFileName, std::wcslen(data.cFileName), &item.name) || IsDotName(item.name.c_str()))
            continue;
        if (out->size() == max_entries) {
            *truncated = true;
            return 1;
        }
        item.link = (data.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0;
        if (item.link)
            item.kind = FollowedKind(folder + data.cFileName);
        else
            item.kind = (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) ? FolderEntryKind::kFolder
                                                                            : FolderEntryKind::kFile;
        out->push_back(std::move(item));
    } while (FindNextFileW(find.handle, &data));
    return GetLastError() == ERROR_NO_MORE_FILES ? 1 : 0;
}

int FOLDER_Resolve(const char* path, PathText* out) {
    WidePath wide;
    if (!WIDE_FromUtf8(path, &wide) || wide.empty()) return 0;
    QuietDriveErrors quiet;
    FileHandle file{OpenFollowing(wide.c_str())};
    if (file.handle == INVALID_HANDLE_VALUE) return 0;
    constexpr DWORD kForm = FILE_NAME_NORMALIZED | VOLUME_NAME_DOS;
    const DWORD need = GetFinalPathNameByHandleW(file.handle, nullptr, 0, kForm);
    if (need == 0) return 0;
    WidePath final(need, L'\0');
    const DWORD got = GetFinalPathNameByHandleW(file.handle, final.data(), need, kForm);
    if (got == 0 || got >= need) return 0;
    final.resize(got);
    // \\?\C:\x is C:\x, and \\?\UNC\server\share is \\server\share.
    if (final.compare(0, 8, L"\\\\?\\UNC\\") == 0)
        final.erase(2, 6);
    else if (final.compare(0, 4, L"\\\\?\\") == 0)
        final.erase(0, 4);
    return WIDE_ToUtf8(final.data(), final.size(), out) ? 1 : 0;
}

void FOLDER_NpkiRoots(PathList* out) {
    WidePath value;
    if (Environment(L"USERPROFILE", &value)) AddRoot(value, L"\\AppData\\LocalLow\\NPKI", out);
    if (Environment(L"ProgramFiles", &value)) AddRoot(value, L"\\NPKI", out);
    if (Environment(L"ProgramFiles(x86)", &value)) AddRoot(value, L"\\NPKI", out);
    const DWORD drives = GetLogicalDrives();
    for (int i = 0; i < 26; ++i) {
        if (!(drives & (DWORD{1} << i))) continue;
        const wchar_t drive[] = {static_cast<wchar_t>(L'A' + i), L':', L'\\', L'\0'};
        if (GetDriveTypeW(drive) == DRIVE_REMOVABLE) AddRoot(WidePath(drive), L"\\NPKI", out);
    }
}

#else

namespace {

FolderEntryKind KindOf(mode_t mode) {
    if (S_ISDIR(mode)) return FolderEntryKind::kFolder;
    return S_ISREG(mode) ? FolderEntryKind::kFile : FolderEntryKind::kOther;
}

struct FolderHandle {
    DIR* dir;
    ~FolderHandle() {
        if (dir) ::closedir(dir);
    }
};

}  // namespace

int FOLDER_List(const char* path, size_t max_entries, FolderEntries* out, bool* truncated) {
    out->clear();
    *truncated = false;
    FolderHandle folder{::opendir(path)};
    if (!folder.dir) return 0;
    const int fd = ::dirfd(folder.dir);
    for (;;) {
        errno = 0;
        const dirent* entry = ::readdir(folder.dir);
        if (!entry) return errno == 0 ? 1 : 0;
        if (IsDotName(entry->d_name)) continue;
        if (out->size() == max_entries) {
            *truncated = true;
            return 1;
        }
        FolderEntry item{PathText(entry->d_name), FolderEntryKind::kOther, false};
        switch (entry->d_type) {
            case DT_DIR: item.kind = FolderEntryKind::kFolder; break;
            case DT_REG: item.kind = FolderEntryKind::kFile; break;
            case DT_LNK:
            case DT_UNKNOWN: {  // some file systems leave the type to stat
                struct stat info {};
                if (::fstatat(fd, entry->d_name, &info, AT_SYMLINK_NOFOLLOW) != 0) break;
                item.link = S_ISLNK(info.st_mode);
                if (!item.link)
                    item.kind = KindOf(info.st_mode);
                else if (::fstatat(fd, entry->d_name, &info, 0) == 0)
                    item.kind = KindOf(info.st_mode);
                break;
            }
            default: break;
        }
        out->push_back(std::move(item));
    }
}

int FOLDER_Resolve(const char* path, PathText* out) {
    char resolved[PATH_MAX];
    if (!::realpath(path, resolved)) return 0;
    out->assign(resolved);
    return 1;
}

void FOLDER_NpkiRoots(PathList* out) {
    const char* home = std::getenv("HOME");
    if (!home || !*home) return;
    PathText base(home);
    while (!base.empty() && base.back() == '/') base.pop_back();
#if defined(__APPLE__)
    for (const char* tail : {"/Library/Preferences/NPKI", "/Documents/NPKI", "/NPKI"}) out->push_back(base + tail);
#else
    out->push_back(base + "/NPKI");
#endif
}

#endif

}  // namespace quillon
