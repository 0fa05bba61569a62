#include "race_tables.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <numeric>
#include <string_view>

#include "records.h"

namespace kestrova::sample {
namespace {

int toInt(std::string_view text) {
    int v = 0;
    std::from_chars(text.data(), text.data() + text.size(), v);
    return v;
}

/// "12.3" -> 123
int tenthsOf(std::string_view text) {
    const std::size_t dot = text.find('.');
    if (dot == std::string_view::npos) {
        return toInt(text) * 10;
    }
    return toInt(text.substr(0, dot)) * 10 + toInt(text.substr(dot + 1, 1));
}

std::string tenthsText(long v) {
    char buf[32];
    std::snprintf(buf, sizeof buf, "%ld.%ld", v / 10, v % 10);
    return buf;
}

std::string yenText(long yen) {
    std::string digits = std::to_string(yen);
    for (int pos = static_cast<int>(digits.size()) - 3; pos > 0; pos -= 3) {
        digits.insert(static_cast<std::size_t>(pos), ",");
    }
    return digits + "円";
}

std::string number(int v) {
    return std::to_string(v);
}

std::uint64_t mix(std::uint64_t z) {
    z = (z ^ (z >> 30)) * 0xbf58476d1ce4e5b9ULL;
    z = (z ^ (z >> 27)) * 0x94d049bb133111ebULL;
    return z ^ (z >> 31);
}

std::uint64_t raceHash(const RaceCard& race, std::uint64_t salt) {
    const std::uint64_t key = static_cast<std::uint64_t>(toInt(race.dayKey)) * 10000 +
                              static_cast<std::uint64_t>(race.venue.venue * 100 + race.race);
    return mix(salt * 0x9e3779b97f4a7c15ULL ^ key);
}

constexpr std::string_view kSpecialWords[] = {
    "若潮", "初富士", "春風", "若竹", "潮騒", "銀嶺", "白梅", "紅梅",   "菜の花", "朱雀",
    "飛鳥", "秋風",   "鳴門", "舞子", "北斗", "立春", "浜松", "比良山", "清洲",   "天竜"};

// Win, place, pair and triple odds from the win odds the member data carries: each horse
// wins with a chance in proportion to 1 / odds, and the places follow the same chances.
class OddsModel {
  public:
    explicit OddsModel(const RaceCard& race) : race_(race) {
        double total = 0;
        for (const Runner& r : race.runners) {
            total += 10.0 / std::max(r.odds, 11);
        }
        for (const Runner& r : race.runners) {
            p_.push_back(10.0 / std::max(r.odds, 11) / total);
        }
    }

    int size() const { return static_cast<int>(p_.size()); }
    /// Chance that `a` wins, `b` is second and `c` (when given) third; horses from 1.
    double ordered(int a, int b, int c = 0) const {
        const double pa = at(a), pb = at(b);
        double chance = pa * pb / (1 - pa);
        if (c != 0) {
            chance *= at(c) / (1 - pa - pb);
        }
        return chance;
    }
    double pair(int a, int b) const { return ordered(a, b) + ordered(b, a); }
    double triple(int a, int b, int c) const {
        return ordered(a, b, c) + ordered(a, c, b) + ordered(b, a, c) + ordered(b, c, a) +
               ordered(c, a, b) + ordered(c, b, a);
    }
    static long payout(double chance, double rate) {
        const long tenths = std::lround(rate / std::max(chance, 1e-7) * 10);
        return std::clamp(tenths, 10L, 999999L);
    }
    std::pair<long, long> place(int horse) const {
        const long win = race_.runners[static_cast<std::size_t>(horse - 1)].odds;
        const long low = std::max(10L, win * 10 / 45);
        return {low, std::max(low + 1, win * 10 / 28)};
    }
    std::pair<long, long> wide(int a, int b) const {
        const long low = payout(std::min(0.95, 3 * pair(a, b)), 0.775);
        return {low, low * 7 / 5 + 1};
    }

  private:
    double at(int horse) const { return p_[static_cast<std::size_t>(horse - 1)]; }

    const RaceCard& race_;
    std::vector<double> p_;
};

void tableStart(std::string& out, std::string_view cls, std::string_view caption) {
    out += "<table class=\"basic narrow-xy ";
    out += cls;
    out += "\">\n<caption>";
    out += caption;
    out += "</caption>\n";
}

void oddsRow(std::string& out, const std::string& label, const std::string& odds) {
    out += "<tr><th scope=\"row\">";
    out += label;
    out += "</th><td class=\"odds\">";
    out += odds;
    out += "</td></tr>\n";
}

std::string range(std::pair<long, long> lowHigh) {
    return tenthsText(lowHigh.first) + "-" + tenthsText(lowHigh.second);
}

/// The frame as the site shows it: an image whose alt text names it and its colour.
std::string frameCell(int frame, int rows = 1) {
    static constexpr std::string_view kColours[] = {"白", "黒", "赤", "青", "黄", "緑", "橙", "桃"};
    const std::string_view colour = frame >= 1 && frame <= 8 ? kColours[frame - 1] : "";
    return "<td class=\"waku\"" + (rows > 1 ? " rowspan=\"" + number(rows) + "\"" : std::string()) +
           "><img src=\"/JRADB/img/waku/" + number(frame) + ".png\" alt=\"枠" + number(frame) +
           std::string(colour) + "\"></td>";
}

std::string horseCell(const Runner& r) {
    return "<td class=\"horse\"><a href=\"#\">" + r.name + "</a></td>";
}

std::string bodyWeightText(const Runner& r) {
    const std::string change =
        r.bodyWeightChange > 0 ? "+" + number(r.bodyWeightChange) : number(r.bodyWeightChange);
    return number(r.bodyWeight) + "(" + change + ")";
}

std::string raceTime(int tenths) {
    char buf[16];
    if (tenths >= 600) {
        std::snprintf(buf, sizeof buf, "%d:%02d.%d", tenths / 600, tenths / 10 % 60, tenths % 10);
    } else {
        std::snprintf(buf, sizeof buf, "%d.%d", tenths / 10, tenths % 10);
    }
    return buf;
}

std::string_view margin(int tenths, bool nose) {
    constexpr std::string_view kMargins[] = {"クビ", "1/2", "1", "1 1/2", "2", "3", "4", "5"};
    if (tenths == 0) {
        return nose ? "ハナ" : "アタマ";
    }
    return tenths <= 8 ? kMargins[tenths - 1] : "大差";
}

}  // namespace

std::vector<RaceCard> raceCardsOf(const RaceDay& day, std::uint32_t seed) {
    std::vector<RaceCard> races;
    const std::string dayKey = dayKeyOf(day.days);
    forEachRecord(day, seed, [&](const Row& row) {
        const std::string_view key = row[1];
        const int venue = toInt(key.substr(8, 2));
        const int race = toInt(key.substr(14, 2));
        if (races.empty() || races.back().race != race || races.back().venue.venue != venue) {
            RaceCard card;
            card.dayKey = dayKey;
            card.venue = {venue, toInt(key.substr(10, 2)), toInt(key.substr(12, 2))};
            card.race = race;
            card.distance = toInt(row[110]);
            card.turf = row[111] == "芝";
            card.going = row[112];
            races.push_back(std::move(card));
        }
        Runner r;
        r.number = toInt(row[2]);
        r.frame = toInt(row[105]);
        r.name = row[5];
        r.sexAge = row[6];
        r.jockey = row[7];
        r.trainer = row[103];
        r.weight = row[104];
        r.bodyWeight = toInt(row[108]);
        r.bodyWeightChange = row[109].starts_with('-')
                                 ? -toInt(std::string_view(row[109]).substr(1))
                                 : toInt(row[109]);
        r.odds = tenthsOf(row[106]);
        r.popularity = toInt(row[107]);
        races.back().runners.push_back(std::move(r));
    });
    return races;
}

std::string raceName(const RaceCard& race) {
    const bool spring = toInt(std::string_view(race.dayKey).substr(4, 2)) <= 5;
    const std::string_view word = kSpecialWords[raceHash(race, 1) % std::size(kSpecialWords)];
    switch (race.race) {
        case 1:
        case 2:
        case 3:
            return spring ? "3歳未勝利" : "2歳未勝利";
        case 4:
            return spring ? "3歳未勝利" : "2歳新馬";
        case 5:
            return spring ? "3歳1勝クラス" : "2歳新馬";
        case 6:
        case 7:
            return spring ? "4歳以上1勝クラス" : "3歳以上1勝クラス";
        case 9:
        case 10:
            return std::string(word) + "特別";
        case 11:
            return std::string(word) + "ステークス";
        default:
            return spring ? "4歳以上2勝クラス" : "3歳以上2勝クラス";
    }
}

std::string startTime(const RaceCard& race, int venueIndex) {
    const int minutes = 10 * 60 + 5 * venueIndex + 32 * (race.race - 1);
    char buf[16];
    std::snprintf(buf, sizeof buf, "%d:%02d", minutes / 60, minutes % 60);
    return buf;
}

std::string courseText(const RaceCard& race) {
    std::string distance = number(race.distance);
    if (distance.size() > 3) {
        distance.insert(distance.size() - 3, ",");
    }
    return (race.turf ? "芝 " : "ダート ") + distance + "メートル";
}

std::string raceCardTable(const RaceCard& race) {
    std::string out;
    out.reserve(8192);
    tableStart(out, "mt20 syutsuba", "出馬表");
    out +=
        "<thead>\n<tr><th class=\"waku\">枠</th><th class=\"num\">馬番</th>"
        "<th class=\"horse\">馬名</th><th class=\"age\">性齢</th><th class=\"weight\">負担重量</th>"
        "<th class=\"jockey\">騎手</th><th class=\"trainer\">調教師</th>"
        "<th class=\"h_weight\">馬体重(増減)</th><th class=\"odds\">単勝オッズ</th>"
        "<th class=\"pop\">人気</th></tr>\n</thead>\n<tbody>\n";
    for (const Runner& r : race.runners) {
        out += "<tr>\n" + frameCell(r.frame) + "\n<td class=\"num\">" + number(r.number) +
               "</td>\n" + horseCell(r) + "\n<td class=\"age\">" + r.sexAge +
               "</td>\n<td class=\"weight\">" + r.weight + "</td>\n<td class=\"jockey\">" +
               r.jockey + "</td>\n<td class=\"trainer\">" + r.trainer +
               "</td>\n<td class=\"h_weight\">" + bodyWeightText(r) + "</td>\n<td class=\"odds\">" +
               tenthsText(r.odds) + "</td>\n<td class=\"pop\">" + number(r.popularity) +
               "</td>\n</tr>\n";
    }
    out += "</tbody>\n</table>\n";
    return out;
}

std::string resultTables(const RaceCard& race, std::uint32_t seed) {
    const OddsModel model(race);
    const int n = model.size();
    // Finishing order: mostly the favourites, with enough luck to make it a race.
    std::vector<int> order(static_cast<std::size_t>(n));
    std::iota(order.begin(), order.end(), 1);
    std::vector<double> score(static_cast<std::size_t>(n) + 1);
    std::uint64_t state = raceHash(race, seed + 2);
    for (const Runner& r : race.runners) {
        state = mix(state + 0x9e3779b97f4a7c15ULL);
        score[static_cast<std::size_t>(r.number)] =
            std::log(r.odds) + static_cast<double>(state >> 11) / 9007199254740992.0 * 2.5;
    }
    std::sort(order.begin(), order.end(), [&](int a, int b) {
        return score[static_cast<std::size_t>(a)] < score[static_cast<std::size_t>(b)];
    });

    const double metresPerSecond = (race.turf ? 16.6 : 15.9) - (race.going == "良" ? 0 : 0.2);
    int time = static_cast<int>(race.distance * 10 / metresPerSecond) + static_cast<int>(state % 8);
    std::string out;
    out.reserve(8192);
    tableStart(out, "mt20 striped result", "レース結果");
    out +=
        "<thead>\n<tr><th class=\"place\">着順</th><th class=\"waku\">枠</th>"
        "<th class=\"num\">馬番</th><th class=\"horse\">馬名</th><th class=\"age\">性齢</th>"
        "<th class=\"weight\">負担重量</th><th class=\"jockey\">騎手</th><th "
        "class=\"time\">タイム</th>"
        "<th class=\"margin\">着差</th><th class=\"h_weight\">馬体重(増減)</th>"
        "<th class=\"trainer\">調教師</th><th class=\"pop\">単勝人気</th></tr>\n</thead>\n"
        "<tbody>\n";
    for (int place = 1; place <= n; ++place) {
        const Runner& r = race.runners[static_cast<std::size_t>(order[place - 1] - 1)];
        const int gap = place == 1 ? 0 : static_cast<int>(mix(state + place) % 5);
        time += gap;
        out += "<tr>\n<td class=\"place\">" + number(place) + "</td>\n" + frameCell(r.frame) +
               "\n<td class=\"num\">" + number(r.number) + "</td>\n" + horseCell(r) +
               "\n<td class=\"age\">" + r.sexAge + "</td>\n<td class=\"weight\">" + r.weight +
               "</td>\n<td class=\"jockey\">" + r.jockey + "</td>\n<td class=\"time\">" +
               raceTime(time) + "</td>\n<td class=\"margin\">" +
               std::string(place == 1 ? "" : margin(gap, place % 2 == 0)) +
               "</td>\n<td class=\"h_weight\">" + bodyWeightText(r) +
               "</td>\n<td class=\"trainer\">" + r.trainer + "</td>\n<td class=\"pop\">" +
               number(r.popularity) + "</td>\n</tr>\n";
    }
    out += "</tbody>\n</table>\n";

    const int first = order[0], second = order[1], third = order[2];
    const auto refund = [&](std::string_view kind, const std::string& horses, long tenths) {
        out += "<tr><th>";
        out += kind;
        out += "</th><td class=\"num\">" + horses + "</td><td class=\"yen\">" +
               yenText(tenths * 10) + "</td></tr>\n";
    };
    out += "<div class=\"refund_area mt30\">\n";
    tableStart(out, "refund", "払戻金");
    out += "<tbody>\n";
    refund("単勝", number(first), race.runners[static_cast<std::size_t>(first - 1)].odds);
    for (const int h : {first, second, third}) {
        refund("複勝", number(h), model.place(h).first);
    }
    const auto pairText = [](int a, int b) {
        return number(std::min(a, b)) + "-" + number(std::max(a, b));
    };
    refund("馬連", pairText(first, second), OddsModel::payout(model.pair(first, second), 0.775));
    refund("ワイド", pairText(first, second), model.wide(first, second).first);
    refund("馬単", number(first) + "-" + number(second),
           OddsModel::payout(model.ordered(first, second), 0.75));
    std::array<int, 3> trio{first, second, third};
    std::sort(trio.begin(), trio.end());
    refund("3連複", number(trio[0]) + "-" + number(trio[1]) + "-" + number(trio[2]),
           OddsModel::payout(model.triple(first, second, third), 0.75));
    refund("3連単", number(first) + "-" + number(second) + "-" + number(third),
           OddsModel::payout(model.ordered(first, second, third), 0.725));
    out += "</tbody>\n</table>\n</div>\n";
    return out;
}

std::string oddsTables(const RaceCard& race, OddsKind kind) {
    const OddsModel model(race);
    const int n = model.size();
    std::string out;
    out.reserve(kind == OddsKind::WinPlace ? 8192 : 65536);
    const auto pair = [](int a, int b) { return number(a) + "-" + number(b); };
    switch (kind) {
        case OddsKind::WinPlace:
            tableStart(out, "tanpuku", "単勝・複勝オッズ");
            out +=
                "<thead>\n<tr><th class=\"waku\">枠</th><th class=\"num\">馬番</th>"
                "<th class=\"horse\">馬名</th><th class=\"odds_tan\">単勝</th>"
                "<th class=\"odds_fuku\">複勝</th></tr>\n</thead>\n<tbody>\n";
            // Horses of one frame share its cell, as on the site: rowspan over the frame's rows.
            for (std::size_t i = 0; i < race.runners.size(); ++i) {
                const Runner& r = race.runners[i];
                std::string frame;
                if (i == 0 || race.runners[i - 1].frame != r.frame) {
                    int rows = 1;
                    while (i + rows < race.runners.size() &&
                           race.runners[i + rows].frame == r.frame) {
                        ++rows;
                    }
                    frame = frameCell(r.frame, rows);
                }
                out += "<tr>" + frame + "<td class=\"num\">" + number(r.number) + "</td>" +
                       horseCell(r) + "<td class=\"odds_tan\">" + tenthsText(r.odds) +
                       "</td><td class=\"odds_fuku\">" + range(model.place(r.number)) +
                       "</td></tr>\n";
            }
            out += "</tbody>\n</table>\n";
            break;
        case OddsKind::BracketQuinella: {
            std::array<std::vector<int>, 9> frames;
            for (const Runner& r : race.runners) {
                frames[static_cast<std::size_t>(r.frame)].push_back(r.number);
            }
            for (int a = 1; a <= 8; ++a) {
                tableStart(out, "waku", "枠連 " + number(a));
                out += "<tbody>\n";
                for (int b = a; b <= 8; ++b) {
                    const auto& fa = frames[static_cast<std::size_t>(a)];
                    const auto& fb = frames[static_cast<std::size_t>(b)];
                    double chance = 0;
                    for (const int i : fa) {
                        for (const int j : fb) {
                            chance += i < j ? model.pair(i, j) : 0;
                        }
                    }
                    if (chance > 0) {
                        oddsRow(out, pair(a, b), tenthsText(OddsModel::payout(chance, 0.775)));
                    }
                }
                out += "</tbody>\n</table>\n";
            }
            break;
        }
        case OddsKind::Quinella:
        case OddsKind::Wide:
        case OddsKind::Exacta: {
            const std::string_view caption = kind == OddsKind::Quinella ? "馬連 "
                                             : kind == OddsKind::Wide   ? "ワイド "
                                                                        : "馬単 1着 ";
            for (int a = 1; a <= n; ++a) {
                tableStart(out, kind == OddsKind::Exacta ? "umatan" : "umaren",
                           std::string(caption) + number(a));
                out += "<tbody>\n";
                for (int b = kind == OddsKind::Exacta ? 1 : a + 1; b <= n; ++b) {
                    if (b == a) {
                        continue;
                    }
                    const std::string odds =
                        kind == OddsKind::Quinella
                            ? tenthsText(OddsModel::payout(model.pair(a, b), 0.775))
                        : kind == OddsKind::Wide
                            ? range(model.wide(a, b))
                            : tenthsText(OddsModel::payout(model.ordered(a, b), 0.75));
                    oddsRow(out, pair(a, b), odds);
                }
                out += "</tbody>\n</table>\n";
            }
            break;
        }
        case OddsKind::Trio:
            for (int a = 1; a <= n - 2; ++a) {
                tableStart(out, "sanrenpuku", "3連複 " + number(a));
                out += "<tbody>\n";
                for (int b = a + 1; b <= n; ++b) {
                    for (int c = b + 1; c <= n; ++c) {
                        oddsRow(out, pair(a, b) + "-" + number(c),
                                tenthsText(OddsModel::payout(model.triple(a, b, c), 0.75)));
                    }
                }
                out += "</tbody>\n</table>\n";
            }
            break;
        case OddsKind::Trifecta:
            // The full grid is 4,896 rows; like the site's default view, only the three
            // favourites as winners. As on the site, a table lists the third places of one
            // first and second, which stand in a block before it.
            for (const Runner& first : race.runners) {
                if (first.popularity > 3) {
                    continue;
                }
                const int a = first.number;
                for (int b = 1; b <= n; ++b) {
                    if (b == a) {
                        continue;
                    }
                    out +=
                        "<div class=\"tan3_unit\">\n<div class=\"p_line\"><div class=\"p1\">"
                        "<span class=\"label\">1着</span> <span class=\"num\">" +
                        number(a) +
                        "</span></div><div class=\"p2\"><span class=\"label\">2着</span> "
                        "<span class=\"num\">" +
                        number(b) +
                        "</span></div></div>\n<table class=\"basic narrow-xy tan3\">\n"
                        "<tbody>\n";
                    for (int c = 1; c <= n; ++c) {
                        if (c != a && c != b) {
                            oddsRow(out, number(c),
                                    tenthsText(OddsModel::payout(model.ordered(a, b, c), 0.725)));
                        }
                    }
                    out += "</tbody>\n</table>\n</div>\n";
                }
            }
            break;
    }
    return out;
}

}  // namespace kestrova::sample
