// zpfctl cipher: enciphers or deciphers a file with the parameters every enciphered
// file of the system uses, optionally with the plain marker line in front.
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "cipher/CDes.h"
#include "platform/FileSystem.h"
#include "zpfctl/Command.h"

namespace {

constexpr char kMarker[] = "PLXharbor";
constexpr char kMarkerLine[] = "PLXharbor\r\n";
constexpr size_t kMarkerLineLength = sizeof kMarkerLine - 1;
// A whole number of cipher units, so only the last piece is ever padded.
constexpr size_t kPiece = 16384 / CDes::kUnit * CDes::kUnit;

struct FileCloser {
    void operator()(std::FILE* f) const
    {
        if (f)
            std::fclose(f);
    }
};
using File = std::unique_ptr<std::FILE, FileCloser>;

int fail(const std::string& message)
{
    std::fprintf(stderr, "zpfctl cipher: %s\n", message.c_str());
    return zpfctl::kFailed;
}

std::string reason() { return std::strerror(errno); }

// Reads until n bytes or the end; a short count means the end (or an error, see ferror).
size_t readFull(std::FILE* f, char* buf, size_t n)
{
    size_t got = 0;
    while (got < n) {
        const size_t r = std::fread(buf + got, 1, n - got, f);
        if (r == 0)
            break;
        got += r;
    }
    return got;
}

int transformFile(bool encode, bool marker, const std::string& inPath, const std::string& outPath)
{
    if (platform::SameFile(inPath, outPath))
        return fail("'" + inPath + "' and '" + outPath + "' are the same file");

    File in(std::fopen(inPath.c_str(), "rb"));
    if (!in)
        return fail("cannot open '" + inPath + "': " + reason());
    if (marker && !encode) {
        char head[kMarkerLineLength];
        const size_t got = readFull(in.get(), head, sizeof head);
        if (got < sizeof head || std::memcmp(head, kMarker, sizeof kMarker - 1) != 0)
            return fail("'" + inPath + "' does not begin with the " + kMarker + " line");
    }

    File out(std::fopen(outPath.c_str(), "wb"));
    if (!out)
        return fail("cannot create '" + outPath + "': " + reason());
    const auto failAndRemove = [&](const std::string& message) {
        out.reset();
        (void)platform::RemoveFile(outPath); // best effort: the failure is reported either way
        return fail(message);
    };
    if (marker && encode && std::fwrite(kMarkerLine, 1, kMarkerLineLength, out.get()) != kMarkerLineLength)
        return failAndRemove("cannot write '" + outPath + "': " + reason());

    CDes des;
    if (des.SettingSystem(encode ? 1 : 0) != 0)
        return failAndRemove("cipher setting refused");
    std::vector<char> buf(kPiece + CDes::kUnit);
    for (;;) {
        const size_t got = readFull(in.get(), buf.data(), kPiece);
        if (std::ferror(in.get()))
            return failAndRemove("cannot read '" + inPath + "': " + reason());
        if (got == 0)
            break;
        const int length = des.TransData(buf.data(), static_cast<int>(got));
        if (std::fwrite(buf.data(), 1, static_cast<size_t>(length), out.get()) != static_cast<size_t>(length))
            return failAndRemove("cannot write '" + outPath + "': " + reason());
        if (got < kPiece)
            break;
    }
    if (std::fclose(out.release()) != 0)
        return failAndRemove("cannot write '" + outPath + "': " + reason());
    return zpfctl::kOk;
}

int cipherCommand(const zpfctl::Args& argsIn)
{
    zpfctl::Args args = argsIn;
    const bool marker = zpfctl::TakeFlag(args, "--marker");
    for (const std::string& a : args) {
        if (a.size() > 1 && a[0] == '-')
            return zpfctl::UsageError("cipher: unknown option '" + a + "'");
    }
    if (args.size() != 3 || (args[0] != "encode" && args[0] != "decode"))
        return zpfctl::UsageError("cipher: expected encode or decode, then IN and OUT");
    return transformFile(args[0] == "encode", marker, args[1], args[2]);
}

} // namespace

ZPFCTL_COMMAND("cipher",
               "cipher encode|decode [--marker] IN OUT   (de)cipher a file as the system's files are; "
               "--marker writes or skips the plain PLXharbor line",
               cipherCommand);
