#pragma once
// The flash of the default PC's two cards: boot data in the first sector, the
// card record at the start of the record sector with 0xFF after it (as a
// record write leaves it), and the DSP's resident program after that.

#include "record/record_v12.h"
#include "record/record_v13.h"
#include "sim/sim_flash.h"

namespace fu::sim {

// A "nimbaPCI/HS" card at revision 1.2: every text readable, so its upgrade
// asks nothing.
RecordV12 DefaultRecordV12();
// An "RT/Count16" card at revision 1.3 with its data set.
RecordV13 DefaultRecordV13();

SimFlash::Bytes FlashWithRecord(const RecordV12& record);
SimFlash::Bytes FlashWithRecord(const RecordV13& record);

}  // namespace fu::sim
