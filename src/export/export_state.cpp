#include "export/export_state.h"

namespace kestrova {

namespace {
constexpr int kFirstDataYear = 2010;
}

std::vector<std::string> makeMonthFileTemplates(int currentYear) {
    std::vector<std::string> templates;
    for (int year = kFirstDataYear; year <= currentYear; ++year) {
        const std::string yy = std::to_string(100 + year % 100).substr(1);
        templates.push_back("TF" + yy + "mm.html");
    }
    return templates;
}

}  // namespace kestrova
