// Feeds arbitrary lines to the schedule line parser and asks for the state on every
// day; every slot it keeps must be well formed.
#include <cstdint>
#include <string>

#include "FuzzCheck.h"
#include "config/GroupList.h"
#include "config/TimeCnfList.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    static GroupList groups = [] {
        GroupList g;
        g.AddGroup("kids");
        return g;
    }();
    TimeCnfList list(&groups);
    list.AddGroup();
    // Several lines per input, so defaults and slots of one group meet.
    std::string text(reinterpret_cast<const char*>(data), size);
    size_t start = 0;
    int lines = 0;
    while (start <= text.size() && lines++ < 64) {
        size_t end = text.find('\n', start);
        std::string line = text.substr(start, end == std::string::npos ? std::string::npos : end - start + 1);
        list.PutLineData(line.c_str(), lines % 2);
        if (end == std::string::npos)
            break;
        start = end + 1;
    }
    for (int g = -1; g <= 2; ++g) {
        for (int d = 0; d < 7; ++d) {
            FilterStatus s = list.FilterStatusAt(g, d, 0x0C00);
            check(s == FilterOff || s == FilterOn || s == FilterCut);
        }
    }
    for (int g = 0; g < list.size(); ++g) {
        for (int d = 0; d < 7; ++d) {
            for (const auto& slot : list.GetVector(g, d)) {
                // A kept slot has a known state and a line the reader could read back.
                check((slot.status == FilterOff || slot.status == FilterOn || slot.status == FilterCut) &&
                      !slot.text().empty() && slot.text().size() <= TimeCnfList::kMaxLineLength + 1);
            }
        }
    }
    return 0;
}
