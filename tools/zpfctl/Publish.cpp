// zpfctl publish: plain database files in, the enciphered tree of an update server out.
#include "zpfctl/Publish.h"

#include <cstdio>
#include <set>
#include <string_view>
#include <vector>

#include "cipher/CDes.h"
#include "config/Category.h"
#include "platform/FileSystem.h"
#include "platform/TextFile.h"
#include "update/FilterUpdate.h"

namespace zpfctl {
namespace {

constexpr size_t kPiece = 16384 / CDes::kUnit * CDes::kUnit;
constexpr size_t kTailBytes = 64;

std::string withSlash(const std::string& dir) { return dir.empty() || dir.back() == '/' ? dir : dir + "/"; }

// The plain source of a published file: "name.txt" or "name" in the folder; "" when neither.
std::string sourceOf(const std::string& src, const std::string& name)
{
    for (const std::string& path : {src + name + ".txt", src + name}) {
        if (platform::FileSize(path) >= 0)
            return path;
    }
    return {};
}

// True when the text's last line (trailing blanks aside) is the end line.
bool endsWithMarker(std::string_view tail)
{
    while (!tail.empty() && (tail.back() == '\n' || tail.back() == '\r' || tail.back() == ' ' || tail.back() == '\t' ||
                             tail.back() == '\0'))
        tail.remove_suffix(1);
    const std::string_view marker = kEndMarker;
    if (!tail.ends_with(marker))
        return false;
    tail.remove_suffix(marker.size());
    return tail.empty() || tail.back() == '\n';
}

// Enciphers what `next` yields into `to`, adding the end line when the text lacks it.
// `next` fills the buffer and returns the byte count, 0 at the end, -1 on error.
template <typename Next> bool encipher(const std::string& to, Next next, std::string& error)
{
    CDes des;
    if (des.SettingSystem(1) != 0 || des.OpenWriteFile(to.c_str()) != 0) {
        error = "cannot create '" + to + "'";
        return false;
    }
    std::vector<char> buffer(kPiece);
    std::string tail;
    for (;;) {
        const long n = next(buffer.data(), buffer.size());
        if (n < 0) {
            des.CloseWriteFile(0);
            error = "cannot read the source of '" + to + "'";
            return false;
        }
        if (n == 0)
            break;
        des.WriteData(buffer.data(), static_cast<int>(n));
        tail.append(buffer.data(), static_cast<size_t>(n));
        if (tail.size() > kTailBytes)
            tail.erase(0, tail.size() - kTailBytes);
    }
    if (!endsWithMarker(tail)) {
        const std::string end = (tail.empty() || tail.back() == '\n' ? "" : "\n") + std::string(kEndMarker) + "\n";
        des.WriteData(end.data(), static_cast<int>(end.size()));
    }
    des.CloseWriteFile(1);
    if (platform::FileSize(to) <= 0) {
        error = "cannot write '" + to + "'";
        return false;
    }
    return true;
}

bool encipherFile(const std::string& from, const std::string& to, std::string& error)
{
    platform::TextFile in;
    if (!in.Open(from, "rb")) {
        error = "cannot open '" + from + "'";
        return false;
    }
    return encipher(
        to, [&](char* buf, size_t size) { return static_cast<long>(in.ReadBytes(buf, size)); }, error);
}

bool encipherText(const std::string& text, const std::string& to, std::string& error)
{
    size_t at = 0;
    return encipher(
        to,
        [&](char* buf, size_t size) {
            const size_t n = std::min(size, text.size() - at);
            std::copy_n(text.data() + at, n, buf);
            at += n;
            return static_cast<long>(n);
        },
        error);
}

// A 1 x 1 pixel, 24-bit Windows bitmap, for a source without an image.
std::string placeholderImage()
{
    std::string bmp = "BM";
    auto put32 = [&bmp](uint32_t v) {
        for (int i = 0; i < 4; ++i)
            bmp += static_cast<char>((v >> (8 * i)) & 0xFF);
    };
    auto put16 = [&bmp](uint16_t v) {
        bmp += static_cast<char>(v & 0xFF);
        bmp += static_cast<char>(v >> 8);
    };
    put32(58);
    put32(0);
    put32(54);
    put32(40);
    put32(1);
    put32(1);
    put16(1);
    put16(24);
    put32(0);
    put32(4);
    put32(2835);
    put32(2835);
    put32(0);
    put32(0);
    bmp += std::string("\xFF\xFF\xFF\x00", 4);
    return bmp;
}

bool writeBytes(const std::string& path, const std::string& bytes, std::string& error)
{
    platform::TextFile out;
    const bool ok = out.Open(path, "wb") && out.Puts(bytes);
    if (!out.Close() || !ok) {
        error = "cannot write '" + path + "'";
        return false;
    }
    return true;
}

// The category list with every address on the server (when given); keys in `keys`.
bool publishCategories(const std::string& source, const std::string& server, std::string& text,
                       std::vector<std::string>& keys, std::string& error)
{
    const long long size = platform::FileSize(source);
    std::string plain;
    if (size < 0 || size > CCategoryList::kMaxFileBytes || !platform::ReadFileBytes(source, plain)) {
        error = "cannot read the category list '" + source + "' (at most 1 MiB)";
        return false;
    }
    std::set<std::string> seen;
    for (size_t start = 0; start < plain.size();) {
        const size_t lf = plain.find('\n', start);
        const size_t end = lf == std::string::npos ? plain.size() : lf + 1;
        std::string line = plain.substr(start, end - start);
        start = end;
        if (line.empty() || line[0] < '0' || line[0] > '9') {
            text += line;
            continue;
        }
        std::string body = line;
        while (!body.empty() && (body.back() == '\n' || body.back() == '\r' || body.back() == '\t'))
            body.pop_back();
        const std::string ending = line.substr(body.size());
        const CCategory category(body.c_str());
        if (category.key.empty() || !body.ends_with(category.rest)) {
            error = "category line without a key file: " + body;
            return false;
        }
        if (category.key.find_first_of("/\\") != std::string::npos || category.key[0] == '.') {
            error = "key file name outside the folder: " + category.key;
            return false;
        }
        if (seen.insert(category.key).second)
            keys.push_back(category.key);
        if (!server.empty())
            body = body.substr(0, body.size() - category.rest.size()) + server + "zpfl/" + category.key;
        text += body + (ending.empty() ? "\n" : ending);
    }
    return true;
}

} // namespace

bool PublishDatabase(const std::string& srcDir, const std::string& outDir, const std::string& server,
                     std::string& error)
{
    const std::string src = withSlash(srcDir);
    const std::string out = withSlash(outDir) + "zpfl/";
    if (!platform::MakeDirectory(withSlash(outDir), 0755) || !platform::MakeDirectory(out, 0755)) {
        error = "cannot make '" + out + "'";
        return false;
    }
    const std::string listSource = sourceOf(src, "category2.cnf");
    if (listSource.empty()) {
        error = "no category2.cnf in '" + src + "'";
        return false;
    }
    std::string listText;
    std::vector<std::string> keys;
    if (!publishCategories(listSource, server, listText, keys, error))
        return false;

    std::vector<std::string> names{"target.fdb", "nofilup.fdb", "nofildow.fdb"};
    names.insert(names.end(), keys.begin(), keys.end());
    for (const std::string& name : names) {
        const std::string from = sourceOf(src, name);
        if (from.empty()) {
            error = "no " + name + " in '" + src + "'";
            return false;
        }
        if (!encipherFile(from, out + name, error))
            return false;
    }
    if (!encipherText(listText, out + "category2.cnf", error))
        return false;

    const std::string image = src + "VTLImage.bmp";
    std::string bytes;
    if (platform::FileSize(image) >= 0) {
        if (!platform::ReadFileBytes(image, bytes)) {
            error = "cannot read '" + image + "'";
            return false;
        }
    } else {
        bytes = placeholderImage();
        std::printf("no VTLImage.bmp in '%s': a blank image is published\n", src.c_str());
    }
    if (!writeBytes(out + "VTLImage.bmp", bytes, error))
        return false;
    std::printf("published %zu categories and %zu files into %s\n", keys.size(), names.size() + 2, out.c_str());
    return true;
}

} // namespace zpfctl
