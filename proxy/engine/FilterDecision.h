#pragma once

class HTTPServiceBody;
class TraceLog;

/// The body of every session: reads the request, decides and answers it. Returns
/// when the session has nothing more to send; the caller closes the connection.
void RunFilterDecision(HTTPServiceBody& body, TraceLog& trace);
