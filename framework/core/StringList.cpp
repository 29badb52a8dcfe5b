#include "StringList.h"

#include "Exceptions.h"

#include <cerrno>
#include <cstring>
#include <filesystem>

#ifdef _WIN32
#include <windows.h>
#else
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace vcl {

std::vector<std::string> SplitLines(std::string_view bytes) {
    if (auto nul = bytes.find('\0'); nul != std::string_view::npos)
        bytes = bytes.substr(0, nul);
    std::vector<std::string> lines;
    size_t pos = 0;
    while (pos < bytes.size()) {
        size_t end = bytes.find_first_of("\r\n", pos);
        if (end == std::string_view::npos)
            end = bytes.size();
        lines.emplace_back(bytes.substr(pos, end - pos));
        pos = end;
        if (pos < bytes.size() && bytes[pos] == '\r')
            ++pos;
        if (pos < bytes.size() && bytes[pos] == '\n')
            ++pos;
    }
    return lines;
}

namespace {

// The system's text ends in a full stop and, on Windows, a line break; the message adds its own.
std::string Trimmed(std::string text) {
    while (!text.empty() && (text.back() == '.' || text.back() == ' ' || text.back() == '\t' ||
                             text.back() == '\r' || text.back() == '\n'))
        text.pop_back();
    return text;
}

std::string FullPath(const std::string& path) {
    std::error_code ec;
    auto full = std::filesystem::absolute(std::filesystem::path(path), ec);
    return ec ? path : full.lexically_normal().string();
}

#ifdef _WIN32

std::string SystemText(DWORD code) {
    char* buffer = nullptr;
    DWORD n = FormatMessageA(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM |
                                 FORMAT_MESSAGE_IGNORE_INSERTS,
                             nullptr, code, 0, reinterpret_cast<char*>(&buffer), 0, nullptr);
    std::string text = n && buffer ? std::string(buffer, n) : std::string();
    LocalFree(buffer);
    return Trimmed(text);
}

class ReadOnlyFile {
public:
    explicit ReadOnlyFile(const std::string& path) {
        // Sharing only reading: a program that holds the file open for writing makes this fail.
        handle_ = CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
        if (handle_ == INVALID_HANDLE_VALUE) {
            DWORD code = GetLastError();
            throw EFOpenError("Cannot open file \"" + FullPath(path) + "\". " + SystemText(code));
        }
    }
    ~ReadOnlyFile() { CloseHandle(handle_); }
    ReadOnlyFile(const ReadOnlyFile&) = delete;
    ReadOnlyFile& operator=(const ReadOnlyFile&) = delete;

    std::string ReadAll(const std::string& path) {
        std::string bytes;
        char buffer[65536];
        for (;;) {
            DWORD got = 0;
            if (!ReadFile(handle_, buffer, sizeof buffer, &got, nullptr)) {
                DWORD code = GetLastError();
                throw EStreamError("Cannot read file \"" + FullPath(path) + "\". " +
                                   SystemText(code));
            }
            if (got == 0)
                return bytes;
            bytes.append(buffer, got);
        }
    }

private:
    HANDLE handle_;
};

#else

std::string SystemText(int code) {
    return Trimmed(std::strerror(code));
}

// POSIX has no share modes: a writer elsewhere cannot be kept out, nor is it noticed.
class ReadOnlyFile {
public:
    explicit ReadOnlyFile(const std::string& path) {
        fd_ = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
        if (fd_ < 0)
            Fail(path, errno);
        struct stat st {};
        if (::fstat(fd_, &st) != 0) {
            int code = errno;
            ::close(fd_);
            Fail(path, code);
        }
        // Opening a directory succeeds here, unlike on Windows; it is no list file.
        if (S_ISDIR(st.st_mode)) {
            ::close(fd_);
            Fail(path, EISDIR);
        }
    }
    ~ReadOnlyFile() { ::close(fd_); }
    ReadOnlyFile(const ReadOnlyFile&) = delete;
    ReadOnlyFile& operator=(const ReadOnlyFile&) = delete;

    std::string ReadAll(const std::string& path) {
        std::string bytes;
        char buffer[65536];
        for (;;) {
            ssize_t got = ::read(fd_, buffer, sizeof buffer);
            if (got < 0) {
                int code = errno;
                if (code == EINTR)
                    continue;
                throw EStreamError("Cannot read file \"" + FullPath(path) + "\". " +
                                   SystemText(code));
            }
            if (got == 0)
                return bytes;
            bytes.append(buffer, static_cast<size_t>(got));
        }
    }

private:
    [[noreturn]] static void Fail(const std::string& path, int code) {
        throw EFOpenError("Cannot open file \"" + FullPath(path) + "\". " + SystemText(code));
    }
    int fd_ = -1;
};

#endif

} // namespace

std::vector<std::string> LoadLinesFromFile(const std::string& path) {
    ReadOnlyFile file(path);
    return SplitLines(file.ReadAll(path));
}

} // namespace vcl
