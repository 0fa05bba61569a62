#include "golden_data.h"

#include "export_fixture.h"

namespace kestrova::test {

namespace {

sample::Record marked(std::string key, std::string horse, std::string system, std::string strongRun,
                      std::string keyHorse, std::string vital) {
    sample::Record r = makeRecord(std::move(key), std::move(horse));
    r.cells[8] = std::move(system);
    r.cells[3] = std::move(strongRun);
    r.cells[4] = std::move(keyHorse);
    r.cells[119] = std::move(vital);
    return r;
}

sample::Record resting(std::string key, std::string horse, std::string flag, std::string farm,
                       std::string rank, std::string date) {
    sample::Record r = makeRecord(std::move(key), std::move(horse));
    r.cells[113] = std::move(flag);
    r.cells[116] = std::move(farm);
    r.cells[117] = std::move(rank);
    r.cells[114] = std::move(date);
    return r;
}

}  // namespace

sample::DataFile goldenJanuary() {
    return makeFile(
        "201501:2015年01月 蓄積データ",
        {
            // Nakayama 5th meeting day 12, Kyoto 1st meeting day 10, Chukyo 2nd day 3.
            marked("2015010406051201", "01", "◎", "激", "◯", "1"),
            marked("2015010406051201", "02", "", "", "", ""),
            marked("2015010406051202", "01", "▲", "", "極", "2"),
            marked("2015010408011001", "01", "△", "激", "", " 1 "),
            marked("2015010408011001", "02", "", "", "", "0"),
            marked("2015010407020311", "03", "○", "", "", ""),
            resting("2015010506051301", "01", "1", "ノーザンファーム天栄", "A", "20181201"),
            resting("2015010506051301", "02", "1", "山元トレセン", "", "20150110"),
            resting("2015010506051301", "03", "1", "天栄（旧天栄ホースパーク）", "B", ""),
            resting("2015010506051301", "04", "0", "X牧場", "C", "20150101"),
            resting("2015010506051302", "01", "1", "", "", ""),
            resting("2015010506051302", "02", " 1 ", "◯◯ファーム", "", "2015011"),
        });
}

sample::DataFile goldenFebruary() {
    sample::Record comma = marked("2015020105010101", "01", "◎", "", "", " 1 ");
    comma.cells[9] = "1,5";
    comma.cells[10] = "-0.5";
    comma.cells[57] = "";
    sample::Record rare = resting("2015020105010101", "02", "1", "𠮷田ファーム", "S", "20150120");
    rare.cells[119] = "2";
    return makeFile("201502:UTF-8版", {
                                          comma,
                                          rare,
                                          marked("2015020805010201", "01", "", "激", "◯", ""),
                                          marked("2015020805010212", "14", "☆", "", "", "1"),
                                          // The 1st again after the 8th: a second day group for it.
                                          marked("2015020109010101", "05", "注", "", "", ""),
                                      });
}

sample::DataFile goldenWeekDay() {
    return makeFile("20150207:今週データ", {
                                               marked("2015020706010101", "01", "◎", "", "", "1"),
                                               resting("2015020706010102", "07", "1",
                                                       "ミッドウェイファーム", "A", "20150130"),
                                           });
}

}  // namespace kestrova::test
