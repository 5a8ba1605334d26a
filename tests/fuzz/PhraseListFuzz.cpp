// Feeds arbitrary bytes to the phrase-list reader (as the bytes of phrase.fdb), then
// writes the texts it read with their variant lines and reads that back. The first line,
// when it is Shift_JIS text the list checks accept, must read back as itself.
#include <cstdint>
#include <string>
#include <vector>

#include "FuzzCheck.h"
#include "common/Encoding.h"
#include "config/ListChecks.h"
#include "config/ListFiles.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    GroupList groups;
    groups.AddGroup("kids");
    groups.AddGroup("staff");
    std::vector<std::string> texts(3);
    std::vector<std::string*> out{&texts[0], &texts[1], &texts[2]};
    std::vector<const std::string*> in{&texts[0], &texts[1], &texts[2]};
    std::string_view bytes(reinterpret_cast<const char*>(data), size);
    bool phraseEuc = size > 0 && (data[0] & 1);

    listfiles::ParseListText(bytes, groups, out, true);
    std::string written;
    for (char c : listfiles::ListFileText(groups, in, true, phraseEuc)) {
        if (c == '\n')
            written += '\r'; // as a text-mode write puts it on disk
        written += c;
    }

    std::vector<std::string> again(3);
    std::vector<std::string*> againOut{&again[0], &again[1], &again[2]};
    listfiles::ParseListText(written, groups, againOut, true);
    // Reading drops lines, it never makes them up.
    for (size_t g = 0; g < 3; ++g)
        check(again[g].size() <= texts[g].size() + 1);
    listfiles::ParseListText(bytes, groups, out, false);

    std::string_view entry = bytes.substr(0, bytes.find('\n'));
    if (!entry.empty() && entry.back() == '\r')
        entry.remove_suffix(1); // the line end, as every reader takes it
    std::string utf8;
    // The check takes a CR still left at the end for the line end the caller kept.
    if (!entry.empty() && entry.back() != '\r' && encoding::convert("CP932", "UTF-8", entry, utf8) &&
        listchecks::EntryError(entry, 1, true).empty()) {
        std::string one = std::string(entry) + "\n", back;
        std::vector<const std::string*> single{&one};
        std::vector<std::string*> readBack{&back};
        listfiles::ParseListText(listfiles::ListFileText(groups, single, true, false), groups, readBack, true);
        check(back == one);
    }
    return 0;
}
