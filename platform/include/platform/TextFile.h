#pragma once

#include <cstdio>
#include <string>
#include <string_view>

namespace platform {

/// A stdio file that behaves like a Windows C runtime file: in a text mode ("r", "w",
/// "a", "rt", "wt", "at", "a+", ...) "\n" is written as "\r\n" and "\r\n" reads back
/// as "\n"; in a binary mode (a 'b' in the mode) bytes pass unchanged. Readers accept
/// LF-only lines as well. One thread at a time.
class TextFile {
public:
    TextFile() = default;
    ~TextFile();
    TextFile(const TextFile&) = delete;
    TextFile& operator=(const TextFile&) = delete;
    TextFile(TextFile&& other) noexcept;
    TextFile& operator=(TextFile&& other) noexcept;

    /// Opens with a C mode string. Returns false on failure (errno is kept).
    [[nodiscard]] bool Open(const std::string& path, const char* mode);
    /// Closes the file; returns false when buffered data could not be written.
    bool Close();
    bool IsOpen() const { return m_file != nullptr; }
    bool IsText() const { return m_text; }

    /// Like fgets: reads at most size - 1 bytes up to and including a line feed,
    /// always terminates buf. Returns false at end of file with nothing read.
    bool Gets(char* buf, int size);

    /// Reads one line into `line` without its line end; lines longer than `maxLength`
    /// are cut there and their rest is skipped. Returns false at end of file.
    bool ReadLine(std::string& line, size_t maxLength);

    /// Writes the bytes, turning "\n" into "\r\n" in text mode. Returns false on error.
    [[nodiscard]] bool Puts(std::string_view text);
    /// printf-style write through Puts.
    [[nodiscard]] bool Printf(const char* format, ...) __attribute__((format(printf, 2, 3)));

    size_t ReadBytes(void* buf, size_t n);
    size_t WriteBytes(const void* buf, size_t n);

    void Rewind();
    long Tell();
    int Seek(long offset, int origin);
    bool Flush();
    std::FILE* Handle() { return m_file; }

private:
    std::FILE* m_file = nullptr;
    bool m_text = false;
};

/// Reads a whole file as bytes. Returns false when it cannot be opened or read.
[[nodiscard]] bool ReadFileBytes(const std::string& path, std::string& out);

/// True when the path names an existing file or directory.
bool PathExists(const std::string& path);

} // namespace platform
