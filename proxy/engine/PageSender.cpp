// Block and error pages: files of the program directory sent with a fixed header.
#include "engine/PageSender.h"

#include <cstdio>

#include "common/BaseDirectory.h"
#include "config/ConfigrationFile.h"
#include "engine/EngineLimits.h"
#include "engine/HTTPServiceBody.h"
#include "log/AccessLogger.h"
#include "platform/TextFile.h"

namespace {
// A page file is meant to be a small HTML page; anything bigger is not sent.
constexpr size_t kMaxPageBytes = 16u << 20;

std::string fallbackPage(int page, int status)
{
    char text[512];
    std::snprintf(text, sizeof text,
                  "<!DOCTYPE html>\n<html><head><meta charset=\"UTF-8\"><title>%d</title></head>\n"
                  "<body><h1>%d</h1><p>The proxy could not answer this request (page %d).</p></body></html>\n",
                  status, status, page);
    return text;
}

bool readPage(const std::string& path, std::string& bytes)
{
    platform::TextFile f;
    if (!f.Open(path, "rb"))
        return false;
    if (f.Seek(0, SEEK_END) != 0)
        return false;
    long size = f.Tell();
    if (size < 0 || static_cast<size_t>(size) > kMaxPageBytes)
        return false;
    f.Seek(0, SEEK_SET);
    bytes.resize(static_cast<size_t>(size));
    return f.ReadBytes(bytes.data(), bytes.size()) == bytes.size();
}

bool sendAnswer(int status, const std::string& bytes, platform::SocketHandle client, platform::Event* stop)
{
    char header[256];
    std::snprintf(header, sizeof header, "HTTP/1.1 %d %s\nContent-Length: %ld\n\n", status, StatusText(status),
                  static_cast<long>(bytes.size()));
    const int wait = engineLimits().sendWaitMs;
    std::string answer = header;
    answer += bytes;
    return platform::SendAll(client, answer.data(), answer.size(), wait, stop);
}
} // namespace

const char* StatusText(int status)
{
    switch (status) {
    case 200:
        return "OK\nConnection: Close\nContent-Type: text/html";
    case 400:
        return "Bad Request\nConnection: Close\nContent-Type: text/html";
    case 403:
        return "Forbidden\nConnection: Close\nContent-Type: text/html";
    case 404:
        return "NotFound\nConnection: Close\nContent-Type: text/html";
    case 503:
        return "Service Unavailable\nConnection: Close\nContent-Type: text/html";
    case 407:
        // The reason is not repeated as a header line of its own: a line without a
        // colon makes strict clients drop the whole answer, challenge included.
        return "Proxy authentication required\n"
               "Proxy-Authenticate: Basic realm=\"Vantrel filtering server\"";
    default:
        return "";
    }
}

std::string GroupPageName(const std::string& directory, int page, const std::string& groupName)
{
    return directory + "zpf" + std::to_string(page) + groupName + ".html";
}

std::string CommonPageName(const std::string& directory, int page)
{
    return directory + "zpf" + std::to_string(page) + ".html";
}

bool SendPageFile(int page, int status, platform::SocketHandle client, int group, platform::Event* stop)
{
    const std::string& dir = baseDirectory();
    std::string bytes;
    bool found = false;
    if (group != 0) {
        const GroupList& groups = ConfigrationFileSigleton::getInstance()->groupList;
        std::string name = group > 0 && group < groups.size() ? groups.GetGroupName(group) : "";
        // A name that would lead out of the program directory is not a page name.
        if (name.find('/') == std::string::npos)
            found = readPage(GroupPageName(dir, page, name), bytes);
    }
    if (!found)
        found = readPage(CommonPageName(dir, page), bytes);
    if (!found) {
        AccessLogger::getInstance().Write("httpErrorFile Open Error", true, true);
        bytes = fallbackPage(page, status);
    }
    return sendAnswer(status, bytes, client, stop);
}

bool SendBuiltInPage(int status, platform::SocketHandle client, platform::Event* stop)
{
    return sendAnswer(status, fallbackPage(status, status), client, stop);
}

void HTTPServiceBody::SendPage(int page, int status)
{
    SendPageFile(page, status, clientSocket, policy.group, eventStop.get());
}
