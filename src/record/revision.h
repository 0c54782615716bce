#pragma once
// Which record revision a card holds.

#include "record/record_v12.h"
#include "record/record_v13.h"

namespace fu {

enum RecordRevision : int { kRevisionUnknown = 0, kRevision12 = 2, kRevision13 = 3 };

// From the first 1736 bytes of the record area, laid out as RecordV12: 2 for
// revision 1.2 (version block 2 reads 1, 0, "b", or its revision text is "123"),
// 3 for revision 1.3 (bytes 33 and 32 hold format 1.2 or 1.3), else 0.
int RecognizeRevision(const RecordV12& block);

// The revision-1.3 test on a decoded record: 3 or 0.
int RecognizeRevision(const RecordV13& record);

}  // namespace fu
