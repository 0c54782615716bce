#pragma once
// Plausible card records for tests: what a revision-1.2 card of the field holds,
// and its revision-1.3 counterpart.

#include "record/record_v12.h"
#include "record/record_v13.h"

namespace fu::test {

// A revision-1.2 "nimbaPCI/HS" card with readable clock and rate texts and a few
// option names.
RecordV12 SampleRecordV12();

// A canonical revision-1.3 record: texts without trailing blanks, four-digit years.
RecordV13 SampleRecordV13();

}  // namespace fu::test
