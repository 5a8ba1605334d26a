// Inserts and lookups on a KeyTable, checked step by step against a plain sorted
// vector that does the same walks entry by entry, in both the built and sealed forms;
// then every inserted text built at once under one number.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "FuzzCheck.h"
#include "filterdb/KeyTable.h"

namespace {

struct RefEntry {
    std::string key;
    std::vector<uint16_t> numbers;
    bool nested = false;
};

bool has(const std::vector<uint16_t>& v, uint16_t n) { return std::find(v.begin(), v.end(), n) != v.end(); }

bool startsWith(const std::string& s, const std::string& p)
{
    return s.compare(0, p.size(), p) == 0 && s.size() >= p.size();
}

std::string normalise(std::string text)
{
    text = text.substr(0, text.find('\0'));
    if (text.compare(0, 7, "http://") == 0)
        text.erase(0, 7);
    for (char& c : text)
        if (c >= 'A' && c <= 'Z')
            c = static_cast<char>(c - 'A' + 'a');
    return text;
}

// byte order, as strcmp
bool less(const std::string& a, const std::string& b) { return a.compare(b) < 0; }

size_t upperBound(const std::vector<RefEntry>& t, const std::string& key)
{
    size_t i = 0;
    while (i < t.size() && !less(key, t[i].key))
        ++i;
    return i;
}

void refCleanup(std::vector<RefEntry>& t, size_t changed)
{
    const RefEntry c = t[changed];
    size_t i = changed + 1;
    while (i < t.size() && t[i].nested) {
        bool covered = startsWith(t[i].key, c.key);
        for (uint16_t n : t[i].numbers)
            covered = covered && has(c.numbers, n);
        if (covered)
            t.erase(t.begin() + static_cast<std::ptrdiff_t>(i));
        else
            ++i;
    }
}

void refInsert(std::vector<RefEntry>& t, const std::string& text, uint16_t number)
{
    RefEntry e{normalise(text), {number}, false};
    const size_t pos = upperBound(t, e.key);
    if (pos > 0) {
        RefEntry& p = t[pos - 1];
        if (p.key == e.key) {
            if (has(p.numbers, number))
                return;
            p.numbers.push_back(number);
            refCleanup(t, pos - 1);
            return;
        }
        for (size_t i = pos - 1;; --i) {
            if (startsWith(e.key, t[i].key)) {
                e.nested = true;
                if (has(t[i].numbers, number))
                    return;
            }
            if (!t[i].nested || i == 0)
                break;
        }
    }
    t.insert(t.begin() + static_cast<std::ptrdiff_t>(pos), e);
    refCleanup(t, pos);
}

std::vector<uint16_t> refLookup(const std::vector<RefEntry>& t, const std::string& text, bool exact)
{
    const std::string key = normalise(text);
    std::vector<uint16_t> out;
    const size_t pos = upperBound(t, key);
    if (pos == 0)
        return out;
    for (size_t i = pos - 1;; --i) {
        if (exact ? t[i].key == key : startsWith(key, t[i].key))
            for (uint16_t n : t[i].numbers)
                if (!has(out, n))
                    out.push_back(n);
        if (!t[i].nested || i == 0)
            break;
    }
    return out;
}

void compareEntries(const KeyTable& table, const std::vector<RefEntry>& ref)
{
    const std::vector<KeyEntry> got = table.Entries();
    check(got.size() == ref.size() && table.Size() == ref.size());
    for (size_t i = 0; i < got.size(); ++i) {
        check(got[i].key == ref[i].key && got[i].nested == ref[i].nested);
        const auto v = got[i].numbers.Values();
        check(std::vector<uint16_t>(v.begin(), v.end()) == ref[i].numbers);
    }
}

// Mostly a tiny alphabet, so keys share prefixes; with the high bit any byte.
std::string takeText(const uint8_t*& data, size_t& size)
{
    if (size == 0)
        return {};
    const size_t want = *data++ % 16;
    --size;
    static const char kAlphabet[] = "ab/Ah:p\0";
    std::string out;
    while (out.size() < want && size > 0) {
        const uint8_t b = *data++;
        --size;
        out.push_back(b & 0x80 ? static_cast<char>(b & 0x7f ? b : 0) : kAlphabet[b % 8]);
    }
    if (want == 15) // now and then a scheme in front
        out = "http://" + out;
    else if (want == 14) // or a stem of 16 bytes, so only the bytes past them differ
        out = "ab/ab/ab/ab/ab/a" + out;
    return out;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    KeyTable table;
    std::vector<RefEntry> ref;
    std::vector<std::string> texts;
    size_t ops = 0;
    while (size > 0 && ops++ < 400) {
        const uint8_t op = *data++;
        --size;
        switch (op % 8) {
        case 0:
        case 1:
        case 2:
        case 3: {
            const auto number = static_cast<uint16_t>((op >> 3) % 5);
            const std::string text = takeText(data, size);
            check(!table.Insert(text, number));
            refInsert(ref, text, number);
            texts.push_back(text);
            if (op & 0x80)
                compareEntries(table, ref);
            break;
        }
        case 4:
        case 5:
        case 6: {
            const std::string text = takeText(data, size);
            const bool exact = op % 8 == 6;
            const auto got = table.LookupKeys(text, exact);
            check(got.has_value() == !ref.empty());
            if (got) {
                const auto v = got->Values();
                check(std::vector<uint16_t>(v.begin(), v.end()) == refLookup(ref, text, exact));
            }
            break;
        }
        default:
            table.Seal();
            compareEntries(table, ref);
            break;
        }
    }
    compareEntries(table, ref);

    KeyTable built;
    built.Build(std::vector<std::string_view>(texts.begin(), texts.end()), 3);
    std::vector<RefEntry> one;
    for (const auto& text : texts)
        refInsert(one, text, 3);
    compareEntries(built, one);
    return 0;
}
