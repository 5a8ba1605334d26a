#pragma once

#include <string>

#include "platform/Event.h"
#include "platform/Socket.h"

/// The status text of a page answer: the reason phrase followed by the further
/// header lines, separated by single line feeds; empty for an unknown status.
const char* StatusText(int status);

/// The page file names: "<dir>zpf<page><group name>.html" and "<dir>zpf<page>.html".
std::string GroupPageName(const std::string& directory, int page, const std::string& groupName);
std::string CommonPageName(const std::string& directory, int page);

/// Sends page file `page` with `status` on the client socket: the group's own page
/// when the group is not 0 and it exists, else the common page. The file's bytes go
/// exactly as stored, behind "HTTP/1.1 <status> <text>\nContent-Length: <n>\n\n".
/// When neither file opens, "httpErrorFile Open Error" is logged and a small built-in
/// page goes out instead. Sending stops at the first failed send; stop (may be null)
/// ends a send that waits. Returns false when the answer could not be sent whole.
bool SendPageFile(int page, int status, platform::SocketHandle client, int group, platform::Event* stop = nullptr);
/// Sends the small built-in page with `status` without looking for a page file: the
/// answer when the proxy has no room for the request.
bool SendBuiltInPage(int status, platform::SocketHandle client, platform::Event* stop = nullptr);
