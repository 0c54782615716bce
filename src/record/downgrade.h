#pragma once
// The conversion of a revision-1.3 record back into a revision-1.2 record.

#include "record/record_v12.h"
#include "record/record_v13.h"

namespace fu {

// Sets the fields of target from source (a copy) and leaves target's other bytes
// as they are. Always reports true.
bool DowngradeRecord(RecordV13 source, RecordV12& target);

}  // namespace fu
