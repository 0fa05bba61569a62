#include "cli/help_text.h"

#include "cli/cli_options.h"
#include "cli/text_width.h"
#include "export/data_file_names.h"
#include "export/data_kinds.h"

namespace kestrova::cli {

namespace {

constexpr std::size_t kIndexColumns = 2;
constexpr std::size_t kIndexColumnWidth = 36;

std::string indexKindTable() {
    std::string table;
    const std::size_t rows = (kIndexKindCount + kIndexColumns - 1) / kIndexColumns;
    for (std::size_t row = 0; row < rows; ++row) {
        std::string line = "  ";
        for (std::size_t column = 0; column < kIndexColumns; ++column) {
            const std::size_t k = column * rows + row;
            if (k >= kIndexKindCount) {
                break;
            }
            const std::size_t at = kFirstIndexKind + k;
            const std::string cell =
                std::string(DataKindCodes[at]) + "  " + std::string(DataKindNames[at]);
            line += column + 1 < kIndexColumns ? padToWidth(cell, kIndexColumnWidth) : cell;
        }
        while (!line.empty() && line.back() == ' ') {
            line.pop_back();
        }
        table += line + "\n";
    }
    return table;
}

std::string commentKindTable() {
    std::string table;
    for (const auto code : kCommentKindCodes) {
        table += "  " + std::string(code) + "  " + std::string(dataKindName(code)) + "\n";
    }
    return table;
}

}  // namespace

std::string usageText() {
    return "使い方 / Usage:\n"
           "  kestrova-cli export [--app-folder DIR] [--host-folder DIR]\n"
           "                      (--past YEAR | --day YYYYMMDD [--day YYYYMMDD ...] |"
           " --this-week)\n"
           "                      [--kinds all|CODE,...] [--predict all|CODE,...]"
           " [--result all|CODE,...]\n"
           "  kestrova-cli days [--app-folder DIR]\n"
           "  kestrova-cli cache --clear [--app-folder DIR]\n"
           "  kestrova-cli race PAGE RACEKEY [--save FILE] [--app-folder DIR]\n"
           "  kestrova-cli schedule (--this-week [export のオプション / export options] |"
           " --remove | --show)\n"
           "  kestrova-cli help    （詳しい説明 / full help）\n"
           "  kestrova-cli --version\n";
}

std::string helpText(int currentYear) {
    const std::string first = std::to_string(kFirstDataYear);
    const std::string last = std::to_string(currentYear);
    std::string text;
    text +=
        "kestrova-cli: Kestrova のデータを TARGET frontier JV へ出力します（画面なし）。\n"
        "kestrova-cli: exports Kestrova's data into TARGET frontier JV, without a window,\n"
        "for scheduled exports. It runs the same export as the window's export button and\n"
        "asks no questions.\n\n";
    text += usageText();
    text +=
        "\nオプション / Options:\n"
        "  --app-folder DIR   Kestrova.Ini とログ（DIR/logs/Kestrova.log）のフォルダ。\n"
        "                     既定は kestrova-cli のあるフォルダ（書き込めないときは\n"
        "                     ~/.local/share/Kestrova、Windows では\n"
        "                     %LOCALAPPDATA%\\Kestrova。画面版と同じ）。\n"
        "                     Folder of Kestrova.Ini and of the log (DIR/logs/Kestrova.log);\n"
        "                     default: the folder that holds kestrova-cli, or, where that\n"
        "                     cannot be written, ~/.local/share/Kestrova (on Windows\n"
        "                     %LOCALAPPDATA%\\Kestrova), as the window does.\n"
        "  --host-folder DIR  TARGET frontier JV のインストールフォルダ（TFJV.EXE のある\n"
        "                     フォルダ）。既定は Kestrova.Ini の [USE_OPT1] TFJV_Path。\n"
        "                     The folder of TARGET frontier JV (it holds TFJV.EXE); default:\n"
        "                     TFJV_Path in section [USE_OPT1] of Kestrova.Ini.\n"
        "  --past YEAR        YEAR年01月から最新月までの過去データ（" +
        first + "～" + last +
        "、１つだけ）。\n"
        "                     Past data from January of YEAR (" +
        first + "-" + last +
        ") up to the newest\n"
        "                     month on the server. Only one --past, never with --day.\n"
        "  --day YYYYMMDD     その開催日の今週データ（TFyymmdd.html）。複数指定できます。\n"
        "                     This week's data of that meeting day; may be repeated.\n"
        "  --no-cache         この実行ではダウンロードのキャッシュを使いません。\n"
        "                     Downloads every file whole and keeps none, for this run.\n"
        "  --this-week        今週の開催日のうちデータのある日すべて（days と同じ日）。\n"
        "                     Every meeting day of this week that has data (as `days`\n"
        "                     lists them): the option for a weekly scheduled job.\n"
        "  --kinds LIST       出力する指数データ。all またはコードのカンマ区切り。\n"
        "                     Index kinds to write (KSTR_DATA): all, or codes joined by \",\".\n"
        "  --predict LIST     予想コメント（MY_DATA/YOS_COM）へ出力する印。all またはコード。\n"
        "                     Marks written into prediction comments: all, or codes.\n"
        "  --result LIST      結果コメント（MY_DATA/KEK_COM）へ出力する印。all またはコード。\n"
        "                     Marks written into result comments: all, or codes.\n"
        "  --help, help       この説明 / this help.\n"
        "  --version          バージョン（画面版の「バージョン情報」と同じ）/ the version, as\n"
        "                     the window's version information shows it.\n"
        "\nコマンド / Commands:\n"
        "  days               今週の開催日（JRA のページから）のうちデータのある日を１行ずつ。\n"
        "                     This week's meeting days (learnt from the racing authority's\n"
        "                     pages) whose data files exist, one a line.\n"
        "  cache --clear      ダウンロードのキャッシュ（<app "
        "folder>/appdata/cache）を空にします。\n"
        "                     削除できないものが残ると、それを示して終了コード 4。\n"
        "                     Empties the download cache (<app folder>/appdata/cache);\n"
        "                     exit code 4, naming them, when entries cannot be removed.\n"
        "  race PAGE RACEKEY  レースの成績・オッズのページの表をタブ区切りで表示。PAGE は\n"
        "                     results, win, bracket, quinella, wide, exacta, trio, trifecta。\n"
        "                     --save FILE でページをそのまま保存。ページがなければ終了コード 3。\n"
        "                     画像は代替テキストで、複数行・列にまたがるセルはその各行・各列に\n"
        "                     表示。trifecta は各表の前に１着・２着の行。\n"
        "                     The tables of a race's result or odds page as tab-separated\n"
        "                     text, an image as its alt text, a cell spanning rows or columns\n"
        "                     repeated in each; trifecta tables follow their line of first and\n"
        "                     second place. --save FILE keeps the page as sent; exit code 3\n"
        "                     when the site has no such page. RACEKEY: yyyymmdd + venue,\n"
        "                     meeting, day and race number, two digits each.\n"
        "  schedule --this-week [export のオプション]\n"
        "                     毎週の export --this-week を systemd のユーザータイマー\n"
        "                     （~/.config/systemd/user/kestrova-export.timer）に登録して有効に\n"
        "                     します：金曜 20:00 と土曜 07:00、最大 30 分ランダムに遅らせ、\n"
        "                     電源が切れていた分は次の起動時に実行。記録は journalctl --user\n"
        "                     -u kestrova-export。ユーザーの systemd がなければ crontab の行を\n"
        "                     標準出力へ表示します。systemctl が失敗すると終了コード 4。\n"
        "                     Installs the weekly export --this-week as a systemd user timer\n"
        "                     and enables it: Fridays 20:00 and Saturdays 07:00, delayed at\n"
        "                     random by up to 30 minutes, a run missed while the machine was\n"
        "                     off made up at the next start; its lines go to the journal.\n"
        "                     Without a systemd user manager it prints the crontab lines on\n"
        "                     standard output instead. Exit code 4 when systemctl fails.\n"
        "  schedule --remove  登録を削除します。 Stops and removes the timer.\n"
        "  schedule --show    登録内容と次の予定を表示します。 Shows the units and next run.\n"
        "  --kinds, --predict, --result のどれか１つは必要です。\n"
        "  At least one of --kinds, --predict and --result is needed.\n"
        "  既にあるファイルは上書きされます。 Existing files are overwritten.\n";
    text += "\n指数データのコード / Index kinds (--kinds):\n";
    text += indexKindTable();
    text += "\n予想／結果コメントのコード / Comment kinds (--predict, --result):\n";
    text += commentKindTable();
    text +=
        "  ※ 極軸（004）は『2015年1月～』の過去データのみの出力となります。\n"
        "     The key-horse mark (004) comes only with past data from January 2015 on.\n";
    text +=
        "\n設定ファイル / Settings (Kestrova.Ini in the application folder, CP932):\n"
        "  [SYS_ENV]  REVNIW      10 のとき http://、それ以外は https://（既定 9）\n"
        "                         10 selects http:// for the vendor's servers, else https://\n"
        "  [SYS_ENV]  MemberHost  会員データサーバー（host[:port]）/ member data server\n"
        "  [SYS_ENV]  RaceAuthorityHost  JRA のサイト（既定 https://www.jra.go.jp）/ the\n"
        "                         racing authority's site ([http://|https://]host[:port])\n"
        "  [SYS_ENV]  DataCache   0 のときダウンロードのキャッシュを使いません / 0 turns the\n"
        "                         download cache off\n"
        "  [USE_OPT1] TFJV_Path   --host-folder がないときの出力先 / host folder default\n"
        "\nログ / Log: <app folder>/logs/Kestrova.log（3 MB で切り替え、5 世代 / rotated at\n"
        "  3 MB, 5 older files kept）。\n"
        "\n進行 / Progress: 出力の経過は「HH:MM:SS  内容」の行で標準出力へ、メッセージと警告は\n"
        "  標準エラーへ出ます。Activity lines (\"HH:MM:SS  text\") go to standard output;\n"
        "  messages and warnings (\"警告: \") to standard error, with a progress bar when\n"
        "  standard error is a terminal. Text is UTF-8.\n"
        "\n終了コード / Exit codes:\n"
        "  0  出力処理を終了しました。 / the export finished\n"
        "  1  予期しないエラーで中断しました / broke off on an unexpected error (see the log)\n"
        "  2  引数・選択・フォルダの誤り / bad arguments, selection or host folder\n"
        "  3  出力処理を中止しました。（通信エラー等、または Ctrl-C・SIGTERM による中止）/\n"
        "     aborted: a data file could not be fetched, or stopped by Ctrl-C or SIGTERM\n"
        "     (after the file being written; a second Ctrl-C ends at once)\n"
        "  4  終了したが問題がありました（書き込めなかったファイル、サーバーにない月、データの\n"
        "     ない日、取得できなかった JRA のページ）/ finished with problems: files not\n"
        "     written, a month missing on the server, a day without data, or (days,\n"
        "     --this-week) a racing-authority page that failed, so days may be missing; the\n"
        "     days found are still listed or written (see the log)\n"
        "  5  別の出力処理が同じフォルダに出力中 / another run is writing into the host folder\n"
        "  6  今週の開催日を調べられませんでした（days、--this-week。JRA のサイトに接続できない、\n"
        "     ページが取得できない）/ this week's meeting days could not be learnt (days,\n"
        "     --this-week): the racing authority's site was unreachable or failed, which is\n"
        "     not the same as a week without meetings (exit 0, "
        "\"今週の開催日データはありません。\")\n"
        "\n例 / Examples:\n"
        "  kestrova-cli export --day 20261205 --day 20261206 --kinds all --predict all"
        " --result all\n"
        "  kestrova-cli export --past " +
        std::to_string(currentYear) +
        " --kinds 010,020 --predict 001\n"
        "\n  crontab（毎週日曜 21:00 に土日の今週データ、金曜 06:00 に今年の過去データ）:\n"
        "  crontab (Sundays 21:00 this weekend's days, Fridays 06:00 this year's past data):\n"
        "  0 21 * * 0  /opt/kestrova/kestrova-cli export --this-week --kinds all --predict all"
        " --result all >>/var/log/kestrova-cli.log 2>&1\n"
        "  0 6 * * 5   /opt/kestrova/kestrova-cli export --past $(date +\\%Y) --kinds all"
        " --predict all --result all >>/var/log/kestrova-cli.log 2>&1\n";
    return text;
}

}  // namespace kestrova::cli
