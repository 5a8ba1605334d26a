// The per-request decision of a session. For now it reads and checks the request
// and answers page 400 where the request cannot be served; the filtering checks and
// the relay follow here.
#include "engine/FilterDecision.h"

#include "engine/HTTPServiceBody.h"
#include "log/TraceLog.h"

void RunFilterDecision(HTTPServiceBody& body, TraceLog& trace)
{
    body.group = 0;
    body.filterRequest = true;
    body.filterResponse = true;

    if (body.ReadRequest(trace) == 0) {
        // At stop nobody waits for an answer.
        if (!(body.eventStop && body.eventStop->IsSet()))
            body.SendPage(400, 400);
        return;
    }

    if (!body.ParseRequestLine()) {
        body.SendPage(400, 400);
        return;
    }
}
