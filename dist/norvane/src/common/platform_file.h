// The platform's file calls, in one place: POSIX descriptors or Windows handles behind one small
// handle type that closes itself. Everything above this works on regular files only: opening
// for reading refuses pipes, devices and folders without blocking, new files are created
// exclusively and never through a link, and a finished file replaces its target by renaming.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

struct PlatformFile {
#ifdef _WIN32
    void* handle = reinterpret_cast<void*>(intptr_t(-1)); // INVALID_HANDLE_VALUE
#else
    int fd = -1;
#endif
    PlatformFile() = default;
    PlatformFile(const PlatformFile&) = delete;
    PlatformFile& operator=(const PlatformFile&) = delete;
    PlatformFile(PlatformFile&& other) noexcept;
    PlatformFile& operator=(PlatformFile&& other) noexcept;
    ~PlatformFile();
    bool is_open() const;
};

enum FileStatus {
    FILE_OK = 0,
    FILE_MISSING,     // nothing by that name
    FILE_EXISTS,      // exclusive creation: the name is taken
    FILE_NOT_REGULAR, // a folder, pipe, device or socket
    FILE_DENIED,      // no permission
    FILE_FAILED,      // any other failure
};

// Opens a regular file for reading and gives its size; anything else is refused at once.
FileStatus pf_open_read(const char* path, PlatformFile* file, uint64_t* size);

// Opens an existing file for writing without changing it, only to learn whether the user may
// write it and that it is a regular file (refused: folders, pipes, devices).
FileStatus pf_check_writable(const char* path);

// Creates a new file for writing: fails with FILE_EXISTS when anything has the name, a link
// included (never followed).
FileStatus pf_create_new(const char* path, PlatformFile* file);

// Creates a file without a name in the folder dir (Linux's O_TMPFILE): a run killed before it
// is named leaves nothing behind. FILE_FAILED where the platform or file system has none.
FileStatus pf_create_unnamed(const char* dir, PlatformFile* file);

// Gives a file made by pf_create_unnamed the name path, which must not exist yet.
bool pf_link_unnamed(PlatformFile* file, const char* path);

// Writes all n bytes; false on any failure (disk full, file-size limit).
bool pf_write(PlatformFile* file, const void* data, size_t n);

// Writes all n bytes at offset, wherever the file's position is; false on any failure.
bool pf_write_at(PlatformFile* file, uint64_t offset, const void* data, size_t n);

// Reads up to n bytes; the count read (less at end of file), or -1 on failure.
int64_t pf_read(PlatformFile* file, void* data, size_t n);

// Flushes the file's data to stable storage.
bool pf_sync(PlatformFile* file);

// Starts writing the file's data to storage without waiting for it, where the platform can (Linux),
// so that a later pf_sync finds most of it done. Only a hint: pf_sync is still what makes it safe.
void pf_start_flush(PlatformFile* file);

// Closes now; false when closing reported an error.
bool pf_close(PlatformFile* file);

// Removes a name (a link itself, never its target); folders are not removed.
bool pf_remove(const char* path);

// Removes a stale file left under a name this program owns: a regular file or a link (the link
// itself). Anything else stays, and so does everything on Windows, where a link planted by
// another system (Wine shows Unix links as plain files) could not be told apart and removing it
// would remove its target. False when nothing was removed.
bool pf_remove_stale(const char* path);

// Renames from over to, replacing to atomically, with the rename itself made durable.
bool pf_replace(const char* from, const char* to);

// Gives file the permission bits of the existing file at path (nothing on Windows, or when path
// does not exist).
void pf_copy_mode(const char* path, PlatformFile* file);

// While a name is guarded, an interrupt, hang-up or termination signal removes it before the
// process ends as the signal says (POSIX; nothing on Windows). One name at a time; the text is
// copied.
void pf_guard_name(const char* path);
void pf_unguard_name();

// A file-size limit makes writes fail (EFBIG) instead of killing the process (POSIX).
void pf_fail_writes_beyond_size_limit();

// How the names pf_sibling_temp_name gives beside a file named base start: "." + base +
// ".norvane-", or, for a base too long for that within a file name's 255 bytes, a start of base
// and a hash of all of it in its place. The process number, a counter and a time follow.
std::string pf_stage_prefix(const std::string& base);

// A name for a new file beside path, unique to this process and this call, and no longer than
// the longest file name the file system takes.
std::string pf_sibling_temp_name(const std::string& path);

// Removes the files beside path that pf_sibling_temp_name gave to processes that no longer exist
// (a run killed outright between naming its finished file and renaming it). Files of live
// processes, and anything that is not a regular file, are left alone (POSIX; nothing on Windows).
void pf_remove_dead_siblings(const std::string& path);

enum PathKind { PATH_MISSING, PATH_REGULAR, PATH_DIRECTORY, PATH_LINK, PATH_OTHER };

// What the name itself is (links not followed).
PathKind pf_path_kind(const char* path);

// True when both names exist and reach the same file (links followed).
bool pf_same_file(const char* a, const char* b);

// The path that writing to `path` reaches: symbolic links are followed, also a last one that
// points nowhere yet. Relative link targets are taken from the link's folder. Returns path
// itself when it is not a link (and on Windows).
std::string pf_resolve_links(const std::string& path);

// The folder part of a path ("." when there is none), and the name part.
std::string pf_dirname(const std::string& path);
std::string pf_basename(const std::string& path);

// The absolute, normalised form of a path whose last part may not exist (the folder is
// resolved through links).
std::string pf_absolute(const std::string& path);
