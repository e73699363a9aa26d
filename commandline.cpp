#include "commandline.h"

#include <cstdio>
#include <cstring>

const char* const NoDisplayMessage =
    "showflst: 画面に接続できません（DISPLAY か WAYLAND_DISPLAY を確かめてください）"
    " / cannot connect to a display (check DISPLAY or WAYLAND_DISPLAY)";

namespace {

constexpr const char* Usage =
    "使い方: showflst [--help] [--version]\n"
    "作業結果ファイルを自動表示する条件を設定するウィンドウを開きます。\n"
    "設定はカレントディレクトリの showflst.dat から読み込み、「閉じる」を押すと書き込みます。\n"
    "時刻の欄では ↑ と ↓ のキーで1分ずつ、Page Up と Page Down で1時間ずつ変わります。\n"
    "\n"
    "Usage: showflst [--help] [--version]\n"
    "Opens a window that sets when the work-result files are shown automatically.\n"
    "The settings are read from showflst.dat in the current directory when it\n"
    "starts, and written back when 閉じる (close) is pressed. In a time field, Up\n"
    "and Down step the time a minute, Page Up and Page Down an hour.\n"
    "\n"
    "  -h, --help     show this help and exit\n"
    "      --version  show the version and exit\n"
    "Qt's own options, such as -style NAME, are understood as well.\n"
    "Exit status: 0 once the settings are saved or the window is closed,\n"
    "1 when no display can be reached.\n";

} // namespace

std::optional<int> answerCommandLine(int argc, char* argv[])
{
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--help") == 0 || std::strcmp(argv[i], "-h") == 0) {
            std::fputs(Usage, stdout);
            return 0;
        }
        if (std::strcmp(argv[i], "--version") == 0) {
            std::puts("showflst " SHOWFLST_VERSION);
            return 0;
        }
    }
    return std::nullopt;
}
