// Text-mode file emulation: CR LF on disk, LF in memory.
#include "platform/TextFile.h"

#include <sys/stat.h>

#include <cstdarg>
#include <cstring>
#include <utility>
#include <vector>

namespace platform {

TextFile::~TextFile() { Close(); }

TextFile::TextFile(TextFile&& other) noexcept
    : m_file(std::exchange(other.m_file, nullptr))
    , m_text(other.m_text)
{
}

TextFile& TextFile::operator=(TextFile&& other) noexcept
{
    if (this != &other) {
        Close();
        m_file = std::exchange(other.m_file, nullptr);
        m_text = other.m_text;
    }
    return *this;
}

bool TextFile::Open(const std::string& path, const char* mode)
{
    Close();
    // The C library on Linux has no text mode: strip 't' and remember it ourselves.
    std::string m;
    bool binary = false;
    for (const char* p = mode; *p; ++p) {
        if (*p == 'b')
            binary = true;
        if (*p != 't')
            m.push_back(*p);
    }
    if (!binary)
        m.push_back('b');
    m_file = std::fopen(path.c_str(), m.c_str());
    m_text = !binary;
    return m_file != nullptr;
}

bool TextFile::Close()
{
    if (!m_file)
        return true;
    bool ok = std::fclose(m_file) == 0;
    m_file = nullptr;
    return ok;
}

bool TextFile::Gets(char* buf, int size)
{
    if (!m_file || size <= 0)
        return false;
    if (!std::fgets(buf, size, m_file))
        return false;
    if (!m_text)
        return true;
    size_t len = std::strlen(buf);
    if (len >= 2 && buf[len - 2] == '\r' && buf[len - 1] == '\n') {
        buf[len - 2] = '\n';
        buf[len - 1] = '\0';
    } else if (len >= 1 && buf[len - 1] == '\r') {
        // The buffer filled right after a CR: a following LF makes it one line end.
        int c = std::fgetc(m_file);
        if (c == '\n')
            buf[len - 1] = '\n';
        else if (c != EOF)
            std::ungetc(c, m_file);
    }
    return true;
}

bool TextFile::ReadLine(std::string& line, size_t maxLength)
{
    line.clear();
    if (!m_file)
        return false;
    int c;
    bool any = false;
    while ((c = std::fgetc(m_file)) != EOF) {
        any = true;
        if (c == '\n')
            break;
        if (line.size() < maxLength + 1)
            line.push_back(static_cast<char>(c));
    }
    if (!any)
        return false;
    if (!line.empty() && line.back() == '\r')
        line.pop_back();
    if (line.size() > maxLength)
        line.resize(maxLength);
    return true;
}

bool TextFile::Puts(std::string_view text)
{
    if (!m_file)
        return false;
    if (!m_text)
        return std::fwrite(text.data(), 1, text.size(), m_file) == text.size();
    size_t start = 0;
    while (start < text.size()) {
        size_t lf = text.find('\n', start);
        size_t end = lf == std::string_view::npos ? text.size() : lf;
        if (end > start && std::fwrite(text.data() + start, 1, end - start, m_file) != end - start)
            return false;
        if (lf == std::string_view::npos)
            break;
        if (std::fwrite("\r\n", 1, 2, m_file) != 2)
            return false;
        start = lf + 1;
    }
    return true;
}

bool TextFile::Printf(const char* format, ...)
{
    va_list ap;
    va_start(ap, format);
    va_list ap2;
    va_copy(ap2, ap);
    int n = std::vsnprintf(nullptr, 0, format, ap);
    va_end(ap);
    if (n < 0) {
        va_end(ap2);
        return false;
    }
    std::vector<char> buf(static_cast<size_t>(n) + 1);
    std::vsnprintf(buf.data(), buf.size(), format, ap2);
    va_end(ap2);
    return Puts(std::string_view(buf.data(), static_cast<size_t>(n)));
}

size_t TextFile::ReadBytes(void* buf, size_t n) { return m_file ? std::fread(buf, 1, n, m_file) : 0; }
size_t TextFile::WriteBytes(const void* buf, size_t n) { return m_file ? std::fwrite(buf, 1, n, m_file) : 0; }
void TextFile::Rewind()
{
    if (m_file)
        std::rewind(m_file);
}
long TextFile::Tell() { return m_file ? std::ftell(m_file) : -1; }
int TextFile::Seek(long offset, int origin) { return m_file ? std::fseek(m_file, offset, origin) : -1; }
bool TextFile::Flush() { return m_file && std::fflush(m_file) == 0; }

bool ReadFileBytes(const std::string& path, std::string& out)
{
    out.clear();
    std::FILE* f = std::fopen(path.c_str(), "rb");
    if (!f)
        return false;
    char buf[65536];
    size_t n;
    while ((n = std::fread(buf, 1, sizeof buf, f)) > 0)
        out.append(buf, n);
    bool ok = !std::ferror(f);
    std::fclose(f);
    return ok;
}

bool PathExists(const std::string& path)
{
    struct stat st;
    return ::stat(path.c_str(), &st) == 0;
}

} // namespace platform
