#include "export/data_kinds.h"

#include <algorithm>
#include <charconv>
#include <cmath>

namespace kestrova {

const std::array<std::string_view, kDataKindCount> DataKindCodes = {
    "000", "001", "002", "003", "004", "005", "006", "010", "020", "030", "040",
    "050", "060", "070", "080", "090", "100", "110", "120", "130", "140", "150",
    "160", "170", "180", "190", "200", "210", "220", "230", "240", "250", "260",
    "270", "280", "290", "300", "310", "320", "330", "340", "350", "360", "370",
    "380", "390", "400", "410", "420", "430", "440", "450", "460", "470"};

const std::array<std::string_view, kDataKindCount> DataKindNames = {"未選択",
                                                                    "システム印",
                                                                    "ユーザー印",
                                                                    "激走印",
                                                                    "極軸",
                                                                    "バイタルジョッキー",
                                                                    "放牧先（ランク）・入厩日",
                                                                    "ＩＤＭ",
                                                                    "騎手指数",
                                                                    "情報指数",
                                                                    "総合指数",
                                                                    "上昇度",
                                                                    "人気指数",
                                                                    "調教指数",
                                                                    "厩舎指数",
                                                                    "調教矢印コード",
                                                                    "厩舎評価コード",
                                                                    "騎手期待単勝率",
                                                                    "騎手期待連対率",
                                                                    "騎手期待３着内率",
                                                                    "激走指数",
                                                                    "テン指数",
                                                                    "ペース指数",
                                                                    "上がり指数",
                                                                    "位置指数",
                                                                    "速度指数",
                                                                    "展開指数",
                                                                    "万券指数",
                                                                    "追切指数",
                                                                    "仕上指数",
                                                                    "仕上指数変化",
                                                                    "ＣＩＤ調教素点",
                                                                    "ＣＩＤ厩舎素点",
                                                                    "ＣＩＤ素点",
                                                                    "ＣＩＤ",
                                                                    "父馬産駒芝連対率",
                                                                    "父馬産駒ダ連対率",
                                                                    "母父馬産駒芝連対率",
                                                                    "母父馬産駒ダ連対率",
                                                                    "騎手距離単勝率",
                                                                    "騎手距離連対率",
                                                                    "騎手距離３着内率",
                                                                    "騎手トラック距離単勝率",
                                                                    "騎手トラック距離連対率",
                                                                    "騎手トラック距離３着内率",
                                                                    "騎手調教師別単勝率",
                                                                    "騎手調教師別連対率",
                                                                    "騎手調教師別３着内率",
                                                                    "騎手馬主別単勝率",
                                                                    "騎手馬主別連対率",
                                                                    "騎手馬主別３着内率",
                                                                    "調教師馬主別単勝率",
                                                                    "調教師馬主別連対率",
                                                                    "調教師馬主別３着内率"};

std::optional<int> indexFirstColumn(std::string_view code) {
    int value = 0;
    const auto [end, ec] = std::from_chars(code.data(), code.data() + code.size(), value);
    if (ec != std::errc{} || end != code.data() + code.size() || code.empty()) {
        return std::nullopt;
    }
    // Rounded halves go to even, as the platform's integer conversion does.
    const auto n = static_cast<int>(std::nearbyint(value / 10.0));
    return 2 * n + 7;
}

std::string_view dataKindName(std::string_view code) {
    const auto it = std::find(DataKindCodes.begin(), DataKindCodes.end(), code);
    if (it == DataKindCodes.end()) {
        return {};
    }
    return DataKindNames[static_cast<std::size_t>(it - DataKindCodes.begin())];
}

std::string indexEntryText(std::size_t kindIndex) {
    if (kindIndex >= kDataKindCount) {
        return {};
    }
    std::string text(DataKindNames[kindIndex]);
    text += "（KSTR";
    text += DataKindCodes[kindIndex];
    text += "）";
    return text;
}

std::string commentEntryText(std::size_t position) {
    if (position >= kCommentEntryCount) {
        return {};
    }
    std::string text(dataKindName(kCommentKindCodes[position / 2]));
    text += position % 2 == 0 ? "(予想コメントへ出力)" : "(結果コメントへ出力)";
    return text;
}

}  // namespace kestrova
