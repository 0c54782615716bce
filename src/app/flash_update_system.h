#pragma once
// The system's layers, built once per program over the ports a front end hands
// in: the same code on Windows and on the simulated PC.

#include "app/slot_layer.h"
#include "dsplink/dsp_loader.h"
#include "dsplink/host_interface.h"
#include "dsplink/window_table.h"
#include "flash/flash_backup.h"
#include "flash/flash_commands.h"
#include "flash/flash_restore.h"
#include "flash/record_read.h"
#include "flash/record_write.h"
#include "flash/update_journal.h"
#include "hwaccess/card_access.h"
#include "hwaccess/driver_requests.h"
#include "hwaccess/driver_service.h"
#include "platform/clock.h"
#include "platform/files.h"
#include "platform/flash_splash_screen.h"
#include "platform/message_service.h"
#include "platform/port_io.h"
#include "platform/register_bus.h"
#include "platform/system_calls.h"

namespace fu {

struct Ports {
  SystemCalls& system;
  PortIo& ports;
  RegisterBus& bus;
  Clock& clock;
  Files& files;
  MessageService& messages;
  FlashSplashFactory& splash;
};

class FlashUpdateSystem {
 public:
  explicit FlashUpdateSystem(const Ports& p)
      : ports(p),
        host(p.bus, windows),
        driver(p.system, p.messages),
        requests(p.system, driver, p.ports),
        cards(driver, requests, host, windows, p.messages),
        loader(host, p.files, p.clock, p.messages),
        flash(host, p.clock),
        reader(flash),
        backup(flash, p.files, p.clock, p.messages),
        journal(p.files, [&files = p.files](
                             std::string_view path) { return RestorableBackup(files, path); }),
        writer(flash, backup, p.messages, p.splash, &journal),
        restore(p.files, flash, reader, writer, p.messages),
        slots(cards, host, loader) {}

  FlashUpdateSystem(const FlashUpdateSystem&) = delete;
  FlashUpdateSystem& operator=(const FlashUpdateSystem&) = delete;

  Ports ports;
  WindowTable windows;
  HostInterface host;
  DriverService driver;
  DriverRequests requests;
  CardAccess cards;
  DspLoader loader;
  FlashCommands flash;
  RecordReader reader;
  FlashBackup backup;
  UpdateJournal journal;
  RecordWriter writer;
  FlashRestore restore;
  SlotLayer slots;
};

}  // namespace fu
