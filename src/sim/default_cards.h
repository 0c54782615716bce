#pragma once
// The flash of the default PC's two cards: boot data and the card's own factory
// data (its serial number at 0xD00F00) in the first sector, the
// card record at the start of the record sector with 0xFF after it (as a
// record write leaves it), and the DSP's resident program after that. The
// revision-1.2 card also keeps a calibration table of its own at 0xD02E00, in
// the record sector: no part of the record, so a record write erases it with
// the sector and only the backup brings it back.

#include "record/record_v12.h"
#include "record/record_v13.h"
#include "sim/sim_flash.h"

namespace fu::sim {

// The card's own factory data: "WERK", then its serial number zero-filled to
// 32 bytes.
inline constexpr std::uint32_t kFactoryDataStart = 0xD00F00;
inline constexpr std::uint32_t kFactoryDataSize = 36;

// Sets the factory data block to 0xFF, as on a card that carries none.
void RemoveFactoryData(SimFlash::Bytes& flash);

// A "nimbaPCI/HS" card at revision 1.2: every text readable, so its upgrade
// asks nothing.
RecordV12 DefaultRecordV12();
// An "RT/Count16" card at revision 1.3 with its data set.
RecordV13 DefaultRecordV13();

// With the revision-1.2 card's calibration table.
SimFlash::Bytes FlashWithRecord(const RecordV12& record);
SimFlash::Bytes FlashWithRecord(const RecordV13& record);

}  // namespace fu::sim
