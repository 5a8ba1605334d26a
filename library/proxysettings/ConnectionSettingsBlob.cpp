// The byte layout of a connection's binary settings value.
#include "proxysettings/ConnectionSettingsBlob.h"

namespace {

uint32_t readLe32(std::string_view bytes, size_t at)
{
    uint32_t v = 0;
    for (size_t i = 0; i < 4; ++i)
        v |= static_cast<uint32_t>(static_cast<unsigned char>(bytes[at + i])) << (8 * i);
    return v;
}

void appendLe32(std::string& out, uint32_t v)
{
    for (size_t i = 0; i < 4; ++i)
        out.push_back(static_cast<char>((v >> (8 * i)) & 0xff));
}

// One length-prefixed text at *at; false when the length runs past the end.
bool readText(std::string_view bytes, size_t* at, std::string* text)
{
    if (bytes.size() - *at < 4)
        return false;
    const uint32_t length = readLe32(bytes, *at);
    *at += 4;
    if (length > bytes.size() - *at)
        return false;
    text->assign(bytes.substr(*at, length));
    *at += length;
    return true;
}

void appendText(std::string& out, std::string_view text)
{
    appendLe32(out, static_cast<uint32_t>(text.size()));
    out.append(text);
}

} // namespace

bool ParseConnectionSettings(std::string_view bytes, ConnectionSettingsBlob* blob)
{
    if (bytes.size() < 12)
        return false;
    blob->version = readLe32(bytes, 0);
    blob->counter = readLe32(bytes, 4);
    blob->flags = readLe32(bytes, 8);
    size_t at = 12;
    if (!readText(bytes, &at, &blob->server) || !readText(bytes, &at, &blob->bypass) ||
        !readText(bytes, &at, &blob->autoConfig))
        return false;
    blob->remainder.assign(bytes.substr(at));
    return true;
}

std::string SerializeConnectionSettings(const ConnectionSettingsBlob& blob)
{
    std::string out;
    out.reserve(ConnectionSettingsBlob::kFixedSize + blob.server.size() + blob.bypass.size() + blob.autoConfig.size() +
                blob.remainder.size());
    appendLe32(out, blob.version);
    appendLe32(out, blob.counter);
    appendLe32(out, blob.flags);
    appendText(out, blob.server);
    appendText(out, blob.bypass);
    appendText(out, blob.autoConfig);
    out.append(blob.remainder);
    return out;
}

std::string ConnectionSettingsTemplate(uint32_t counter, std::string_view server)
{
    ConnectionSettingsBlob blob;
    blob.counter = counter;
    blob.flags = server.empty() ? ConnectionSettingsBlob::kFlagDirect
                                : ConnectionSettingsBlob::kFlagDirect | ConnectionSettingsBlob::kFlagProxy;
    blob.server = std::string(server);
    return SerializeConnectionSettings(blob);
}
