#include "common/platform_file.h"

#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstring>
#include <string>
#include <utility>
#include <vector>

#ifdef _WIN32
#include <windows.h>
#else
#include <csignal>
#include <cstdlib>
#include <dirent.h>
#include <ctime>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/types.h>
#include <unistd.h>
#endif

namespace {

// Writes and reads go in pieces the platform's calls take in one go.
constexpr size_t kPiece = size_t(1) << 30;

} // namespace

std::string pf_stage_prefix(const std::string& base) {
    // The prefix and the suffix (process number, counter and nanoseconds: at most 19 + 10 + 9
    // digits and two dashes) stay within one file name's 255 bytes.
    constexpr size_t kLongestPrefix = 255 - 40;
    const char kTag[] = ".norvane-";
    if (1 + base.size() + sizeof kTag - 1 <= kLongestPrefix)
        return "." + base + kTag;
    // Too long to carry whole: a start of it (cut before a UTF-8 continuation byte, so that the
    // name stays readable) and a hash of all of it, so that outputs with the same start don't
    // share stage names.
    uint64_t hash = 14695981039346656037ull; // FNV-1a
    for (char c : base)
        hash = (hash ^ static_cast<unsigned char>(c)) * 1099511628211ull;
    char hex[24];
    std::snprintf(hex, sizeof hex, "~%016llx", static_cast<unsigned long long>(hash));
    size_t keep = kLongestPrefix - 1 - std::strlen(hex) - (sizeof kTag - 1);
    while (keep > 0 && (static_cast<unsigned char>(base[keep]) & 0xC0) == 0x80)
        --keep;
    return "." + base.substr(0, keep) + hex + kTag;
}

std::string pf_dirname(const std::string& path) {
#ifdef _WIN32
    size_t slash = path.find_last_of("/\\:");
#else
    size_t slash = path.rfind('/');
#endif
    if (slash == std::string::npos)
        return ".";
    if (slash == 0)
        return path.substr(0, 1);
    return path.substr(0, slash);
}

std::string pf_basename(const std::string& path) {
#ifdef _WIN32
    size_t slash = path.find_last_of("/\\:");
#else
    size_t slash = path.rfind('/');
#endif
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

#ifdef _WIN32

PlatformFile::PlatformFile(PlatformFile&& other) noexcept : handle(other.handle) {
    other.handle = INVALID_HANDLE_VALUE;
}

PlatformFile& PlatformFile::operator=(PlatformFile&& other) noexcept {
    if (this != &other) {
        pf_close(this);
        std::swap(handle, other.handle);
    }
    return *this;
}

PlatformFile::~PlatformFile() {
    pf_close(this);
}

bool PlatformFile::is_open() const {
    return handle != INVALID_HANDLE_VALUE;
}

namespace {

FileStatus status_from_last_error() {
    switch (GetLastError()) {
    case ERROR_FILE_NOT_FOUND:
    case ERROR_PATH_NOT_FOUND:
        return FILE_MISSING;
    case ERROR_FILE_EXISTS:
    case ERROR_ALREADY_EXISTS:
        return FILE_EXISTS;
    case ERROR_ACCESS_DENIED:
    case ERROR_SHARING_VIOLATION:
    case ERROR_WRITE_PROTECT:
        return FILE_DENIED;
    default:
        return FILE_FAILED;
    }
}

bool is_directory(const char* path) {
    DWORD attributes = GetFileAttributesA(path);
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
}

// Files on disk only: consoles, pipes and devices such as NUL are refused.
FileStatus check_disk_file(PlatformFile* file) {
    if (GetFileType(file->handle) != FILE_TYPE_DISK) {
        pf_close(file);
        return FILE_NOT_REGULAR;
    }
    return FILE_OK;
}

} // namespace

FileStatus pf_open_read(const char* path, PlatformFile* file, uint64_t* size) {
    pf_close(file);
    if (is_directory(path))
        return FILE_NOT_REGULAR;
    file->handle =
        CreateFileA(path, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                    nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (!file->is_open())
        return status_from_last_error();
    FileStatus status = check_disk_file(file);
    if (status != FILE_OK)
        return status;
    LARGE_INTEGER length;
    if (!GetFileSizeEx(file->handle, &length)) {
        pf_close(file);
        return FILE_FAILED;
    }
    *size = uint64_t(length.QuadPart);
    return FILE_OK;
}

FileStatus pf_check_writable(const char* path) {
    if (is_directory(path))
        return FILE_NOT_REGULAR;
    DWORD attributes = GetFileAttributesA(path);
    if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_READONLY))
        return FILE_DENIED;
    PlatformFile file;
    file.handle =
        CreateFileA(path, GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                    nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (!file.is_open())
        return status_from_last_error();
    return check_disk_file(&file);
}

FileStatus pf_create_new(const char* path, PlatformFile* file) {
    pf_close(file);
    file->handle = CreateFileA(path, GENERIC_WRITE, FILE_SHARE_READ, nullptr, CREATE_NEW,
                               FILE_ATTRIBUTE_NORMAL, nullptr);
    if (!file->is_open())
        return is_directory(path) ? FILE_EXISTS : status_from_last_error();
    return FILE_OK;
}

FileStatus pf_create_unnamed(const char*, PlatformFile* file) {
    pf_close(file);
    return FILE_FAILED;
}

bool pf_link_unnamed(PlatformFile*, const char*) {
    return false;
}

bool pf_write(PlatformFile* file, const void* data, size_t n) {
    const char* p = static_cast<const char*>(data);
    while (n > 0) {
        DWORD take = DWORD(n < kPiece ? n : kPiece);
        DWORD done = 0;
        if (!WriteFile(file->handle, p, take, &done, nullptr) || done == 0)
            return false;
        p += done;
        n -= done;
    }
    return true;
}

bool pf_write_at(PlatformFile* file, uint64_t offset, const void* data, size_t n) {
    const char* p = static_cast<const char*>(data);
    while (n > 0) {
        OVERLAPPED at{};
        at.Offset = DWORD(offset);
        at.OffsetHigh = DWORD(offset >> 32);
        DWORD take = DWORD(n < kPiece ? n : kPiece);
        DWORD done = 0;
        if (!WriteFile(file->handle, p, take, &done, &at) || done == 0)
            return false;
        p += done;
        n -= done;
        offset += done;
    }
    return true;
}

int64_t pf_read(PlatformFile* file, void* data, size_t n) {
    char* p = static_cast<char*>(data);
    size_t total = 0;
    while (total < n) {
        DWORD take = DWORD(n - total < kPiece ? n - total : kPiece);
        DWORD done = 0;
        if (!ReadFile(file->handle, p + total, take, &done, nullptr))
            return -1;
        if (done == 0)
            break;
        total += done;
    }
    return int64_t(total);
}

bool pf_sync(PlatformFile* file) {
    return FlushFileBuffers(file->handle) != 0;
}

void pf_start_flush(PlatformFile*) {}

bool pf_close(PlatformFile* file) {
    if (!file->is_open())
        return true;
    bool ok = CloseHandle(file->handle) != 0;
    file->handle = INVALID_HANDLE_VALUE;
    return ok;
}

bool pf_remove(const char* path) {
    return DeleteFileA(path) != 0;
}

bool pf_remove_stale(const char*) {
    return false;
}

bool pf_replace(const char* from, const char* to) {
    return MoveFileExA(from, to, MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH) != 0;
}

PathKind pf_path_kind(const char* path) {
    DWORD attributes = GetFileAttributesA(path);
    if (attributes == INVALID_FILE_ATTRIBUTES)
        return PATH_MISSING;
    if (attributes & FILE_ATTRIBUTE_REPARSE_POINT)
        return PATH_LINK;
    if (attributes & FILE_ATTRIBUTE_DIRECTORY)
        return PATH_DIRECTORY;
    return PATH_REGULAR;
}

bool pf_same_file(const char* a, const char* b) {
    auto identify = [](const char* path, BY_HANDLE_FILE_INFORMATION* info) {
        HANDLE h = CreateFileA(path, 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                               nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
        if (h == INVALID_HANDLE_VALUE)
            return false;
        bool ok = GetFileInformationByHandle(h, info) != 0;
        CloseHandle(h);
        return ok;
    };
    BY_HANDLE_FILE_INFORMATION ia, ib;
    return identify(a, &ia) && identify(b, &ib) &&
           ia.dwVolumeSerialNumber == ib.dwVolumeSerialNumber &&
           ia.nFileIndexHigh == ib.nFileIndexHigh && ia.nFileIndexLow == ib.nFileIndexLow;
}

std::string pf_resolve_links(const std::string& path) {
    return path;
}

void pf_copy_mode(const char*, PlatformFile*) {}

void pf_guard_name(const char*) {}

void pf_unguard_name() {}

void pf_fail_writes_beyond_size_limit() {}

std::string pf_sibling_temp_name(const std::string& path) {
    static unsigned counter = 0;
    char suffix[64];
    std::snprintf(suffix, sizeof suffix, "%lu-%u-%lu", GetCurrentProcessId(), ++counter,
                  GetTickCount());
    size_t slash = path.find_last_of("/\\:");
    std::string folder = slash == std::string::npos ? "" : path.substr(0, slash + 1);
    return folder + pf_stage_prefix(pf_basename(path)) + suffix;
}

void pf_remove_dead_siblings(const std::string&) {}

std::string pf_absolute(const std::string& path) {
    char full[MAX_PATH * 4];
    DWORD n = GetFullPathNameA(path.c_str(), DWORD(sizeof full), full, nullptr);
    if (n == 0 || n >= sizeof full)
        return path;
    return std::string(full, n);
}

#else

PlatformFile::PlatformFile(PlatformFile&& other) noexcept : fd(other.fd) {
    other.fd = -1;
}

PlatformFile& PlatformFile::operator=(PlatformFile&& other) noexcept {
    if (this != &other) {
        pf_close(this);
        std::swap(fd, other.fd);
    }
    return *this;
}

PlatformFile::~PlatformFile() {
    pf_close(this);
}

bool PlatformFile::is_open() const {
    return fd >= 0;
}

namespace {

FileStatus status_from_errno(int error) {
    switch (error) {
    case ENOENT:
    case ENOTDIR:
        return FILE_MISSING;
    case EEXIST:
        return FILE_EXISTS;
    case EACCES:
    case EPERM:
    case EROFS:
        return FILE_DENIED;
    case EISDIR:
    case ENXIO:
        return FILE_NOT_REGULAR;
    default:
        return FILE_FAILED;
    }
}

// Regular files only; anything else is closed and refused.
FileStatus check_regular(PlatformFile* file, uint64_t* size) {
    struct stat info;
    if (fstat(file->fd, &info) != 0) {
        pf_close(file);
        return FILE_FAILED;
    }
    if (!S_ISREG(info.st_mode)) {
        pf_close(file);
        return FILE_NOT_REGULAR;
    }
    if (size != nullptr)
        *size = uint64_t(info.st_size);
    return FILE_OK;
}

bool sync_folder(const std::string& dir) {
    int fd = open(dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0)
        return false;
    bool ok = fsync(fd) == 0;
    close(fd);
    return ok;
}

} // namespace

FileStatus pf_open_read(const char* path, PlatformFile* file, uint64_t* size) {
    pf_close(file);
    // Non-blocking, so that a pipe with no writer is refused instead of waited for.
    file->fd = open(path, O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    if (file->fd < 0)
        return status_from_errno(errno);
    FileStatus status = check_regular(file, size);
    if (status == FILE_OK)
        fcntl(file->fd, F_SETFL, fcntl(file->fd, F_GETFL) & ~O_NONBLOCK);
    return status;
}

FileStatus pf_check_writable(const char* path) {
    PlatformFile file;
    file.fd = open(path, O_WRONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    if (file.fd < 0)
        return status_from_errno(errno);
    return check_regular(&file, nullptr);
}

FileStatus pf_create_new(const char* path, PlatformFile* file) {
    pf_close(file);
    file->fd = open(path, O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_NOCTTY | O_CLOEXEC, 0666);
    if (file->fd < 0)
        return status_from_errno(errno);
    return FILE_OK;
}

FileStatus pf_create_unnamed(const char* dir, PlatformFile* file) {
    pf_close(file);
#ifdef O_TMPFILE
    file->fd = open(dir, O_TMPFILE | O_WRONLY | O_CLOEXEC, 0666);
    if (file->fd >= 0)
        return FILE_OK;
#else
    (void)dir;
#endif
    return FILE_FAILED;
}

bool pf_link_unnamed(PlatformFile* file, const char* path) {
#ifdef O_TMPFILE
    // AT_EMPTY_PATH needs a privilege; the /proc name of the descriptor works for everyone.
    if (linkat(file->fd, "", AT_FDCWD, path, AT_EMPTY_PATH) == 0)
        return true;
    char name[64];
    std::snprintf(name, sizeof name, "/proc/self/fd/%d", file->fd);
    return linkat(AT_FDCWD, name, AT_FDCWD, path, AT_SYMLINK_FOLLOW) == 0;
#else
    (void)file;
    (void)path;
    return false;
#endif
}

bool pf_write(PlatformFile* file, const void* data, size_t n) {
    const char* p = static_cast<const char*>(data);
    while (n > 0) {
        ssize_t done = write(file->fd, p, n < kPiece ? n : kPiece);
        if (done < 0 && errno == EINTR)
            continue;
        if (done <= 0)
            return false;
        p += done;
        n -= size_t(done);
    }
    return true;
}

bool pf_write_at(PlatformFile* file, uint64_t offset, const void* data, size_t n) {
    const char* p = static_cast<const char*>(data);
    while (n > 0) {
        ssize_t done = pwrite(file->fd, p, n < kPiece ? n : kPiece, off_t(offset));
        if (done < 0 && errno == EINTR)
            continue;
        if (done <= 0)
            return false;
        p += done;
        n -= size_t(done);
        offset += uint64_t(done);
    }
    return true;
}

int64_t pf_read(PlatformFile* file, void* data, size_t n) {
    char* p = static_cast<char*>(data);
    size_t total = 0;
    while (total < n) {
        size_t take = n - total < kPiece ? n - total : kPiece;
        ssize_t done = read(file->fd, p + total, take);
        if (done < 0 && errno == EINTR)
            continue;
        if (done < 0)
            return -1;
        if (done == 0)
            break;
        total += size_t(done);
    }
    return int64_t(total);
}

bool pf_sync(PlatformFile* file) {
    return fsync(file->fd) == 0;
}

void pf_start_flush(PlatformFile* file) {
#ifdef __linux__
    sync_file_range(file->fd, 0, 0, SYNC_FILE_RANGE_WRITE);
#else
    (void)file;
#endif
}

bool pf_close(PlatformFile* file) {
    if (file->fd < 0)
        return true;
    bool ok = close(file->fd) == 0;
    file->fd = -1;
    return ok;
}

bool pf_remove(const char* path) {
    return unlink(path) == 0;
}

bool pf_remove_stale(const char* path) {
    struct stat info;
    if (lstat(path, &info) != 0 || !(S_ISREG(info.st_mode) || S_ISLNK(info.st_mode)))
        return false;
    return unlink(path) == 0;
}

bool pf_replace(const char* from, const char* to) {
    if (rename(from, to) != 0)
        return false;
    // The new name reaches the disk with the folder's entry.
    sync_folder(pf_dirname(to));
    return true;
}

PathKind pf_path_kind(const char* path) {
    struct stat info;
    if (lstat(path, &info) != 0)
        return PATH_MISSING;
    if (S_ISLNK(info.st_mode))
        return PATH_LINK;
    if (S_ISDIR(info.st_mode))
        return PATH_DIRECTORY;
    return S_ISREG(info.st_mode) ? PATH_REGULAR : PATH_OTHER;
}

bool pf_same_file(const char* a, const char* b) {
    struct stat ia, ib;
    return stat(a, &ia) == 0 && stat(b, &ib) == 0 && ia.st_dev == ib.st_dev &&
           ia.st_ino == ib.st_ino;
}

std::string pf_resolve_links(const std::string& path) {
    std::string current = path;
    // As many steps as the system itself follows before it gives up (ELOOP).
    for (int step = 0; step < 40; ++step) {
        struct stat info;
        if (lstat(current.c_str(), &info) != 0 || !S_ISLNK(info.st_mode))
            return current;
        std::vector<char> target(size_t(info.st_size > 0 ? info.st_size : PATH_MAX) + 1);
        ssize_t n = readlink(current.c_str(), target.data(), target.size());
        if (n < 0 || size_t(n) >= target.size())
            return current;
        std::string next(target.data(), size_t(n));
        if (next.empty())
            return current;
        if (next[0] != '/')
            next = pf_dirname(current) + "/" + next;
        current = next;
    }
    return current;
}

void pf_copy_mode(const char* path, PlatformFile* file) {
    struct stat info;
    if (stat(path, &info) == 0)
        fchmod(file->fd, info.st_mode & 07777);
}

namespace {

char guarded_name[PATH_MAX];
volatile sig_atomic_t name_guarded = 0;

void remove_guarded_and_reraise(int signal_number) {
    if (name_guarded)
        unlink(guarded_name);
    ::signal(signal_number, SIG_DFL);
    ::raise(signal_number);
}

const int kGuardedSignals[] = {SIGINT, SIGTERM, SIGHUP};

} // namespace

void pf_guard_name(const char* path) {
    name_guarded = 0;
    if (std::strlen(path) >= sizeof guarded_name)
        return;
    std::strcpy(guarded_name, path);
    name_guarded = 1;
    for (int signal_number : kGuardedSignals) {
        struct sigaction action {};
        action.sa_handler = remove_guarded_and_reraise;
        sigemptyset(&action.sa_mask);
        sigaction(signal_number, &action, nullptr);
    }
}

void pf_unguard_name() {
    name_guarded = 0;
    for (int signal_number : kGuardedSignals)
        ::signal(signal_number, SIG_DFL);
}

void pf_fail_writes_beyond_size_limit() {
    ::signal(SIGXFSZ, SIG_IGN);
}

std::string pf_sibling_temp_name(const std::string& path) {
    static unsigned counter = 0;
    timespec now{};
    clock_gettime(CLOCK_REALTIME, &now);
    char suffix[80];
    std::snprintf(suffix, sizeof suffix, "%ld-%u-%ld", long(getpid()), ++counter,
                  long(now.tv_nsec));
    std::string dir = pf_dirname(path);
    return (dir == "." && path.find('/') == std::string::npos ? "" : dir + "/") +
           pf_stage_prefix(pf_basename(path)) + suffix;
}

void pf_remove_dead_siblings(const std::string& path) {
    const std::string dir = pf_dirname(path);
    const std::string prefix = pf_stage_prefix(pf_basename(path));
    DIR* folder = opendir(dir.c_str());
    if (folder == nullptr)
        return;
    while (const dirent* entry = readdir(folder)) {
        const char* name = entry->d_name;
        if (std::strncmp(name, prefix.c_str(), prefix.size()) != 0)
            continue;
        char* end = nullptr;
        const long pid = std::strtol(name + prefix.size(), &end, 10);
        if (end == name + prefix.size() || *end != '-' || pid <= 0 || pid > INT_MAX)
            continue;
        if (kill(pid_t(pid), 0) == 0 || errno != ESRCH)
            continue; // alive, or not ours to judge
        const std::string full = dir + "/" + name;
        struct stat info {};
        if (lstat(full.c_str(), &info) == 0 && S_ISREG(info.st_mode))
            unlink(full.c_str());
    }
    closedir(folder);
}

std::string pf_absolute(const std::string& path) {
    std::string dir = pf_dirname(path);
    char resolved[PATH_MAX];
    if (realpath(dir.c_str(), resolved) == nullptr)
        return path;
    std::string base = pf_basename(path);
    std::string folder(resolved);
    return folder == "/" ? "/" + base : folder + "/" + base;
}

#endif
