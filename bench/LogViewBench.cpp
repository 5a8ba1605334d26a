// The log viewer on a large log: 160,000 lines (about 25 MB). Reading it, the viewer's
// first screen and the last rows painted, peak memory, and the time of each keystroke
// typed into a filter field. Prints a table; run through tools/bench.sh (offscreen).
#include <QApplication>
#include <QLineEdit>
#include <QScrollBar>
#include <QTableView>

#include <chrono>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>

#include "config/ConfigrationFile.h"
#include "core/LogDocument.h"
#include "views/LogTableModel.h"
#include "views/LogViewDialog.h"

namespace {

constexpr size_t kLines = 160000;

long statusKb(const char* key)
{
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line)) {
        if (line.rfind(key, 0) == 0)
            return std::atol(line.c_str() + std::strlen(key));
    }
    return 0;
}

double ms(std::chrono::steady_clock::time_point since)
{
    return std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - since).count();
}

// Block and access lines as the proxy writes them, about 160 bytes each.
std::string makeLog()
{
    std::mt19937 random(7);
    std::string log;
    log.reserve(kLines * 170);
    const char* tags[] = {"(URL Block)", "(Access Log)", "(Extension Block)", "(Access Control)"};
    for (size_t i = 0; i < kLines; ++i) {
        const unsigned day = 1 + static_cast<unsigned>(i * 28 / kLines);
        char head[64];
        std::snprintf(head, sizeof head, "2004/05/%02u,%02u:%02u:%02u,192.168.%u.%u,", day,
                      static_cast<unsigned>(random() % 24), static_cast<unsigned>(random() % 60),
                      static_cast<unsigned>(random() % 60), static_cast<unsigned>(random() % 4),
                      static_cast<unsigned>(random() % 250));
        log += head;
        log += "http://www.site" + std::to_string(random() % 5000) + ".example/articles/" +
               std::to_string(random() % 100000) + "/index.html?session=" + std::to_string(random()) +
               "&ref=news%2Csports&page=" + std::to_string(random() % 50);
        const unsigned tag = static_cast<unsigned>(random() % 4);
        log += std::string(",") + tags[tag] + ",kids";
        if (tag != 1)
            log += "," + std::to_string(101 + random() % 12);
        log += "\r\n";
    }
    return log;
}

struct Config : ConfigrationFileSigleton { };

void paint(QTableView* table)
{
    table->viewport()->repaint();
    QApplication::processEvents();
}

} // namespace

int main(int argc, char** argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    const std::string dir = (std::filesystem::temp_directory_path() / "zpf-logview-bench/").string();
    std::filesystem::create_directories(dir);
    {
        const std::string log = makeLog();
        std::ofstream(dir + "zpf.log", std::ios::binary) << log;
        std::printf("log: %zu lines, %.1f MB\n", kLines, static_cast<double>(log.size()) / 1e6);
    }
    // The peak from here on is the viewer's, not the generator's.
    std::ofstream("/proc/self/clear_refs") << "5";
    const long baseKb = statusKb("VmRSS:");

    // The document alone.
    auto start = std::chrono::steady_clock::now();
    {
        LogDocument doc(nullptr);
        (void)doc.Open(dir + "zpf.log");
        std::printf("%-40s %8.0f ms (%zu rows)\n", "read the file into rows", ms(start), doc.rowCount());
    }

    Config cnf;
    cnf.LogFlag = 0;
    cnf.LogPath = dir;
    platform::PosixProgramLauncher launcher;
    start = std::chrono::steady_clock::now();
    CLogViewDialog view(cnf, dir, launcher);
    view.show();
    view.OpenDefault();
    paint(view.table());
    const double first = ms(start);
    view.table()->scrollToBottom();
    paint(view.table());
    const double full = ms(start);
    std::printf("%-40s %8.0f ms\n", "viewer: first screen painted", first);
    std::printf("%-40s %8.0f ms (%d rows)\n", "viewer: last rows painted", full, view.model()->rowCount());
    std::printf("%-40s %8ld MB (before opening: %ld MB)\n", "peak resident memory", statusKb("VmHWM:") / 1024,
                baseKb / 1024);

    double worst = 0;
    double total = 0;
    int keys = 0;
    auto type = [&](const char* field, const std::string& text) {
        QLineEdit* edit = view.filterEdit(field);
        for (size_t n = 1; n <= text.size(); ++n) {
            const auto t = std::chrono::steady_clock::now();
            edit->setText(QString::fromStdString(text.substr(0, n)));
            paint(view.table());
            const double took = ms(t);
            worst = std::max(worst, took);
            total += took;
            ++keys;
        }
        edit->clear();
        paint(view.table());
    };
    type("urlEdit", "site42");
    type("clientEdit", "192.168.2.1");
    type("fromEdit", "2004/05/20");
    type("groupEdit", "kid");
    std::printf("%-40s %8.1f ms mean, %.1f ms worst (%d keys)\n", "filter per keystroke", total / keys, worst, keys);

    start = std::chrono::steady_clock::now();
    view.model()->sort(3, Qt::AscendingOrder);
    paint(view.table());
    std::printf("%-40s %8.0f ms\n", "sort by URL", ms(start));
    start = std::chrono::steady_clock::now();
    view.model()->sort(7, Qt::DescendingOrder);
    paint(view.table());
    std::printf("%-40s %8.0f ms\n", "sort by the UTF-8 column", ms(start));
    std::printf("%-40s %8ld MB\n", "peak resident memory at the end", statusKb("VmHWM:") / 1024);
    std::filesystem::remove_all(dir);
    return 0;
}
