// Block records of a session: the match program and the block and access lines.
#include "engine/BlockLog.h"

#include <atomic>

#include "config/ConfigrationFile.h"
#include "engine/HTTPServiceBody.h"
#include "log/AccessLogger.h"
#include "platform/ProcessControl.h"

namespace {
std::atomic<bool> g_phraseFlag{false};

void runMatchProgram()
{
    const std::string& program = ConfigrationFileSigleton::getInstance()->ProgramIfMatch;
    if (!program.empty())
        (void)platform::RunShellCommand(program); // its exit status changes nothing: the block stands
}
} // namespace

void SetPhraseFlag(bool on) { g_phraseFlag = on; }
bool PhraseFlag() { return g_phraseFlag; }

void HTTPServiceBody::LogBlock(const char* tag, const std::vector<unsigned>& matched)
{
    runMatchProgram();
    AccessLogger& log = AccessLogger::getInstance();
    if (policy.doBlockLog)
        log.WriteAccess(ClientAddress(), request.url, tag ? tag : "", matched, policy.group, true, true, trace);
    if (policy.doAccessLog)
        log.WriteAccess(ClientAddress(), request.url, "", {}, policy.group, true, true, trace);
}

bool HTTPServiceBody::LogPhraseMatches(std::span<const PhraseMatch> matches, const char* tag, TraceLog* traceLog)
{
    if (matches.empty())
        return false;
    runMatchProgram();
    AccessLogger& log = AccessLogger::getInstance();
    for (const PhraseMatch& m : matches) {
        if (!policy.doBlockLog)
            continue;
        std::string phrase = m.phrase;
        if (!PhraseFlag() && phrase.size() > kLoggedPhraseLength)
            phrase.resize(kLoggedPhraseLength);
        const unsigned key[1] = {m.keyNumber};
        log.WriteAccess(ClientAddress(), request.url, tag ? std::string(tag) : phrase, key, policy.group, true, true,
                        traceLog);
    }
    return true;
}
