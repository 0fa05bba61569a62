#include "records.h"

#include <algorithm>
#include <charconv>
#include <cstdio>
#include <string_view>

namespace kestrova::sample {
namespace {

class SplitMix64 {
  public:
    explicit SplitMix64(std::uint64_t seed) : state_(seed) {}

    std::uint64_t next() {
        std::uint64_t z = (state_ += 0x9e3779b97f4a7c15ULL);
        z = (z ^ (z >> 30)) * 0xbf58476d1ce4e5b9ULL;
        z = (z ^ (z >> 27)) * 0x94d049bb133111ebULL;
        return z ^ (z >> 31);
    }
    /// 0 .. n-1
    int below(int n) {
        return static_cast<int>(((next() >> 32) * static_cast<std::uint64_t>(n)) >> 32);
    }
    int between(int lo, int hi) { return lo + below(hi - lo + 1); }
    bool percent(int p) { return below(100) < p; }
    template <typename T, std::size_t N>
    const T& pick(const T (&table)[N]) {
        return table[static_cast<std::size_t>(below(static_cast<int>(N)))];
    }

  private:
    std::uint64_t state_;
};

constexpr std::string_view kKana[] = {
    "ア", "イ", "ウ", "エ", "オ", "カ", "キ", "ク", "ケ", "コ", "サ",   "シ",   "ス",   "セ",
    "ソ", "タ", "チ", "ツ", "テ", "ト", "ナ", "ニ", "ヌ", "ネ", "ノ",   "ハ",   "ヒ",   "フ",
    "ヘ", "ホ", "マ", "ミ", "ム", "メ", "モ", "ヤ", "ユ", "ヨ", "ラ",   "リ",   "ル",   "レ",
    "ロ", "ワ", "ン", "ガ", "ギ", "グ", "ゲ", "ゴ", "ザ", "ジ", "ズ",   "ダ",   "デ",   "ド",
    "バ", "ビ", "ブ", "ベ", "ボ", "パ", "ピ", "プ", "ー", "ヴ", "ティ", "ファ", "シャ", "ジュ"};
constexpr int kNameStarts = 44;  // kKana up to "ワ"
constexpr std::string_view kPeople[] = {
    "佐藤", "鈴木", "高橋",   "田中", "伊藤", "渡辺", "山本", "中村", "小林",   "加藤",
    "吉田", "山田", "佐々木", "山口", "松本", "井上", "木村", "林",   "斎藤",   "清水",
    "山崎", "森",   "池田",   "橋本", "石川", "前田", "藤田", "岡田", "長谷川", "村上"};
constexpr std::string_view kGivenNames[] = {"健",   "翔",   "大輔", "誠",   "拓也",
                                            "勇気", "一樹", "雄太", "和生", "望",
                                            "亮",   "達也", "光",   "隆",   "幸四郎"};
constexpr std::string_view kFarms[] = {"ノーザンファームしがらき",
                                       "ノーザンファーム天栄（旧天栄ホースパーク）",
                                       "山元トレセン",
                                       "宇治田原優駿ステーブル",
                                       "ミッドウェイファーム",
                                       "大山ヒルズ",
                                       "チャンピオンヒルズ",
                                       "吉澤ステーブルＷＥＳＴ",
                                       "グリーンウッド・トレーニング",
                                       "社台ファーム",
                                       "追分ファーム",
                                       "ファンタストクラブ",
                                       "ビッグレッドファーム",
                                       "ノルマンディーファーム小野町",
                                       "天栄ホースパーク（旧天栄ホースパーク）",
                                       "松風馬事センター"};
constexpr std::string_view kSexes[] = {"牡", "牡", "牡", "牝", "牝", "セ"};
constexpr std::string_view kConditions[] = {"良", "良", "良", "良", "稍", "稍", "重", "不"};
constexpr int kTurfDistances[] = {1200, 1400, 1600, 1800, 2000, 2200, 2400, 2500, 3000};
constexpr int kDirtDistances[] = {1000, 1150, 1200, 1400, 1600, 1700, 1800, 1900, 2100};
constexpr std::string_view kRanks[] = {"A", "B", "C", "D", "E"};

constexpr int kIndexKinds = 47;
enum class KindType { Index, Diff, Rate, Code };

constexpr KindType kindType(int kind) {
    if (kind % 12 == 0) {
        return KindType::Code;
    }
    switch (kind % 4) {
        case 3:
            return KindType::Diff;
        case 0:
            return KindType::Rate;
        default:
            return KindType::Index;
    }
}

// Small formatters writing into a stack buffer; the generator formats about a million values
// per month page, so they avoid streams and locales.
class Fmt {
  public:
    /// Decimal, zero-padded to `width` (at most 8).
    std::string_view integer(long v, int width = 0) {
        char digits[24];
        const char* end = std::to_chars(digits, digits + sizeof digits, v).ptr;
        const auto len = static_cast<std::size_t>(end - digits);
        const std::size_t want = static_cast<std::size_t>(std::clamp(width, 0, 8));
        const std::size_t pad = want > len ? want - len : 0;
        std::fill_n(buf_, pad, '0');
        std::copy_n(digits, len, buf_ + pad);
        return {buf_, pad + len};
    }
    /// Tenths as "52.3" / "-1.2"; `plus` writes "+" before positive values.
    std::string_view tenths(long v, bool plus = false) {
        char* p = buf_;
        if (v < 0) {
            *p++ = '-';
            v = -v;
        } else if (plus && v > 0) {
            *p++ = '+';
        }
        p = std::to_chars(p, buf_ + sizeof buf_ - 2, v / 10).ptr;
        *p++ = '.';
        *p++ = static_cast<char>('0' + v % 10);
        return {buf_, static_cast<std::size_t>(p - buf_)};
    }
    /// Thousandths below one as "0.153".
    std::string_view rate(int thousandths) {
        buf_[0] = '0';
        buf_[1] = '.';
        buf_[2] = static_cast<char>('0' + thousandths / 100);
        buf_[3] = static_cast<char>('0' + thousandths / 10 % 10);
        buf_[4] = static_cast<char>('0' + thousandths % 10);
        return {buf_, 5};
    }

  private:
    char buf_[32];
};

struct RaceSetup {
    int runners = 0;
    bool turf = true;
    int distance = 0;
    std::string_view condition;
    std::array<std::string_view, 19> marks{};  // by horse number
    std::array<int, 19> frames{};
    std::array<int, 19> odds{};  // tenths
    std::array<int, 19> popularity{};
};

int runnersFor(SplitMix64& rng) {
    // Mostly full fields; now and then a small one.
    if (rng.percent(10)) {
        return rng.between(8, 11);
    }
    return std::min(18, rng.between(10, 15) + rng.below(4));
}

RaceSetup setUpRace(SplitMix64& rng) {
    RaceSetup race;
    race.runners = runnersFor(rng);
    race.turf = rng.percent(55);
    race.distance = race.turf ? rng.pick(kTurfDistances) : rng.pick(kDirtDistances);
    race.condition = rng.pick(kConditions);

    // Frames: the last frames take the second (and third) horse first.
    const int n = race.runners;
    int horse = 1;
    for (int frame = 1; frame <= 8; ++frame) {
        const int size = n / 8 + (frame > 8 - n % 8 ? 1 : 0);
        for (int i = 0; i < size; ++i) {
            race.frames[static_cast<std::size_t>(horse++)] = frame;
        }
    }
    for (int h = 1; h <= n; ++h) {
        const int base = 15 + rng.below(60) * rng.below(60) / 3;
        race.odds[static_cast<std::size_t>(h)] = base + rng.below(10);
    }
    for (int h = 1; h <= n; ++h) {
        int rank = 1;
        for (int o = 1; o <= n; ++o) {
            const auto oi = static_cast<std::size_t>(o);
            const auto hi = static_cast<std::size_t>(h);
            if (race.odds[oi] < race.odds[hi] || (race.odds[oi] == race.odds[hi] && o < h)) {
                ++rank;
            }
        }
        race.popularity[static_cast<std::size_t>(h)] = rank;
    }

    std::array<int, 18> order{};
    for (int i = 0; i < n; ++i) {
        order[static_cast<std::size_t>(i)] = i + 1;
    }
    for (int i = 0; i < n - 1; ++i) {
        std::swap(order[static_cast<std::size_t>(i)],
                  order[static_cast<std::size_t>(i + rng.below(n - i))]);
    }
    const auto mark = [&](int slot, std::string_view text) {
        race.marks[static_cast<std::size_t>(order[static_cast<std::size_t>(slot)])] = text;
    };
    mark(0, "◎");
    // The large circle turns up in some races in place of the white one.
    mark(1, rng.percent(15) ? "◯" : "○");
    mark(2, "▲");
    const int triangles = rng.between(1, 3);
    for (int i = 0; i < triangles; ++i) {
        mark(3 + i, "△");
    }
    return race;
}

void fillIndexes(Row& row, SplitMix64& rng, int ability, bool newcomer) {
    Fmt f;
    for (int kind = 1; kind <= kIndexKinds; ++kind) {
        std::string& first = row[static_cast<std::size_t>(2 * kind + 7)];
        std::string& second = row[static_cast<std::size_t>(2 * kind + 8)];
        switch (kindType(kind)) {
            case KindType::Index: {
                const long v = 500 + ability + rng.between(-80, 80) + kind % 5 * 10;
                first.assign(f.tenths(v));
                if (newcomer) {
                    second.clear();
                } else {
                    second.assign(f.tenths(v + rng.between(-60, 60)));
                }
                break;
            }
            case KindType::Diff:
                first.assign(f.tenths(ability / 5 + rng.between(-25, 25)));
                second.assign(f.tenths(rng.between(-30, 30), true));
                break;
            case KindType::Rate:
                first.assign(
                    f.rate(std::clamp(250 + ability * 2 + rng.between(-240, 240), 0, 999)));
                if (newcomer) {
                    second.assign("0");
                } else {
                    second.assign(f.integer(rng.between(1, 40)));
                }
                break;
            case KindType::Code:
                first.assign(rng.pick(kRanks));
                first.append(f.integer(rng.between(1, 5)));
                second.assign(f.integer(rng.between(1, 12), 2));
                break;
        }
    }
}

void fillFarm(Row& row, SplitMix64& rng, int raceDay) {
    if (!rng.percent(35)) {
        // Now and then the flag column says "0" instead of staying empty.
        row[113].assign(rng.percent(10) ? "0" : "");
        row[114].clear();
        row[115].assign(rng.percent(50) ? "在厩" : "");
        row[116].clear();
        row[117].clear();
        return;
    }
    row[113].assign("1");
    if (rng.percent(80)) {
        row[114].assign(dayKeyOf(raceDay - rng.between(10, 60)));
    } else {
        row[114].clear();
    }
    row[115].assign("放牧");
    row[116].assign(rng.pick(kFarms));
    if (rng.percent(75)) {
        row[117].assign(rng.pick(kRanks));
    } else {
        row[117].clear();
    }
}

void fillHorse(Row& row, SplitMix64& rng, const RaceSetup& race, int horse, int year, int raceDay) {
    Fmt f;
    const auto h = static_cast<std::size_t>(horse);
    const int age = std::min(8, 2 + rng.below(3) + rng.below(3));
    row[0].assign(f.integer(static_cast<long>(year - age) * 1000000 + 100000 + rng.below(99999)));
    row[2].assign(f.integer(horse, 2));
    row[3].assign(rng.percent(8) ? (rng.percent(60) ? "★" : "☆") : "");
    row[4].assign(rng.percent(6) ? (rng.percent(50) ? "◆" : "◇") : "");

    std::string& name = row[5];
    name.clear();
    // No name starts with a long-vowel mark or "ン".
    name.assign(kKana[static_cast<std::size_t>(rng.below(kNameStarts))]);
    const int syllables = rng.between(2, 7);
    for (int i = 0; i < syllables; ++i) {
        name.append(rng.pick(kKana));
    }
    row[6].assign(rng.pick(kSexes));
    row[6].append(f.integer(age));
    row[7].assign(rng.pick(kPeople));
    row[7].append(rng.pick(kGivenNames));
    row[8].assign(race.marks[h]);

    const int ability = rng.between(-100, 100);
    const bool newcomer = rng.percent(3);
    fillIndexes(row, rng, ability, newcomer);

    row[103].assign(rng.pick(kPeople));
    row[103].append(rng.pick(kGivenNames));
    row[104].assign(f.tenths(540 + 10 * rng.below(5)));
    row[105].assign(f.integer(race.frames[h]));
    row[106].assign(f.tenths(race.odds[h]));
    row[107].assign(f.integer(race.popularity[h]));
    row[108].assign(f.integer(rng.between(400, 540)));
    row[109].assign(f.integer(2 * rng.between(-6, 6)));
    row[110].assign(f.integer(race.distance));
    row[111].assign(race.turf ? "芝" : "ダ");
    row[112].assign(race.condition);
    fillFarm(row, rng, raceDay);
    row[118].assign(newcomer ? std::string_view{} : f.integer(7 * rng.between(1, 30)));
    if (rng.percent(10)) {
        row[119].assign("1");
    } else {
        row[119].assign(rng.percent(65) ? "0" : "");
    }
}

}  // namespace

void forEachRecord(const RaceDay& day, std::uint32_t seed,
                   const std::function<void(const Row&)>& emit) {
    SplitMix64 rng((static_cast<std::uint64_t>(seed) << 32) ^
                   static_cast<std::uint64_t>(static_cast<std::uint32_t>(day.days)) *
                       0x2545F4914F6CDD1DULL);
    const CivilDate date = civilFromDays(day.days);
    const std::string dayKey = dayKeyOf(day.days);
    Row row;
    char key[17];
    for (int v = 0; v < day.venueCount; ++v) {
        const VenueDay& venue = day.venues[static_cast<std::size_t>(v)];
        for (int raceNo = 1; raceNo <= 12; ++raceNo) {
            std::snprintf(key, sizeof key, "%s%02d%02d%02d%02d", dayKey.c_str(), venue.venue,
                          venue.meeting, venue.day, raceNo);
            const RaceSetup race = setUpRace(rng);
            for (int horse = 1; horse <= race.runners; ++horse) {
                row[1].assign(key, 16);
                fillHorse(row, rng, race, horse, date.year, day.days);
                emit(row);
            }
        }
    }
}

std::string monthHeaderCell(int year, int month) {
    char buf[64];
    std::snprintf(buf, sizeof buf, "%04d%02d:%04d年%02d月 蓄積データ", year, month, year, month);
    return buf;
}

std::string dayHeaderCell(int days) {
    const CivilDate d = civilFromDays(days);
    char buf[64];
    std::snprintf(buf, sizeof buf, "%04d%02d%02d:%04d年%02d月%02d日 今週データ", d.year, d.month,
                  d.day, d.year, d.month, d.day);
    return buf;
}

const std::array<std::string, kColumns>& columnNames() {
    static const std::array<std::string, kColumns> names = [] {
        std::array<std::string, kColumns> n;
        n[1] = "レースキー";
        n[2] = "馬番";
        n[3] = "激走";
        n[4] = "鍵";
        n[5] = "馬名";
        n[6] = "性齢";
        n[7] = "騎手";
        n[8] = "印";
        for (int kind = 1; kind <= kIndexKinds; ++kind) {
            char buf[32];
            std::snprintf(buf, sizeof buf, "指数%03d-1", kind * 10);
            n[static_cast<std::size_t>(2 * kind + 7)] = buf;
            std::snprintf(buf, sizeof buf, "指数%03d-2", kind * 10);
            n[static_cast<std::size_t>(2 * kind + 8)] = buf;
        }
        const char* rest[] = {"調教師", "斤量",   "枠番",       "単勝", "人気",    "馬体重",
                              "増減",   "距離",   "芝ダ",       "馬場", "外厩",    "入厩日",
                              "状態",   "外厩名", "外厩ランク", "間隔", "重要騎手"};
        for (std::size_t i = 0; i < std::size(rest); ++i) {
            n[103 + i] = rest[i];
        }
        return n;
    }();
    return names;
}

}  // namespace kestrova::sample
