#pragma once

#include "sample_data.h"

namespace kestrova::test {

/// January 2015 (served as CP932): three venues on the 4th, resting farms on the 5th.
sample::DataFile goldenJanuary();
/// February 2015 (served as UTF-8): commas in values, vital-jockey flags, a character CP932
/// lacks, and the 1st coming back after the 8th.
sample::DataFile goldenFebruary();
/// This week's day 2015-02-07.
sample::DataFile goldenWeekDay();

}  // namespace kestrova::test
