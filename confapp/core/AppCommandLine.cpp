#include "core/AppCommandLine.h"

#include <algorithm>
#include <cctype>

namespace {

std::string lower(std::string text)
{
    std::transform(text.begin(), text.end(), text.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return text;
}

} // namespace

AppCommandLine AppCommandLine::Parse(const std::vector<std::string>& words)
{
    AppCommandLine line;
    for (const std::string& original : words) {
        std::string word = original;
        if (!word.empty() && (word[0] == '-' || word[0] == '/'))
            word.erase(0, 1);
        const std::string folded = lower(word);
        if (folded == "test")
            line.test = true;
        else if (!word.empty() && word[0] == 'u') // case matters here, unlike the other words
            line.updateBase = word.substr(1);
        else if (folded == "desk")
            line.desk = true;
        else if (folded == "proxy")
            line.noCache = false;
        else if (folded == "noicon")
            line.noicon = true;
        else
            line.rest.push_back(original);
    }
    return line;
}
