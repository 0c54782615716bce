#pragma once
// The system's layers, built once per program over the ports a front end hands
// in: the same code on Windows and on the simulated PC.

#include "app/protocol_messages.h"
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
#include "platform/protocol.h"
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
  // The support protocol; off unless a front end turns it on.
  Protocol& protocol = NoProtocol();
};

class FlashUpdateSystem {
 private:
  static Ports WithMessages(const Ports& p, MessageService& messages) {
    return Ports{p.system, p.ports, p.bus, p.clock, p.files, messages, p.splash, p.protocol};
  }

 public:
  // Every layer shows its messages through the protocol's view of the message
  // service, so the protocol holds each message with its answer.
  explicit FlashUpdateSystem(const Ports& p)
      : recorded_messages(p.messages, p.protocol),
        ports(WithMessages(p, recorded_messages)),
        host(p.bus, windows),
        driver(p.system, ports.messages, p.protocol),
        requests(p.system, driver, p.ports),
        cards(driver, requests, host, windows, ports.messages, p.protocol),
        loader(host, p.files, p.clock, ports.messages, p.protocol),
        flash(host, p.clock, p.protocol),
        reader(flash),
        backup(flash, p.files, p.clock, ports.messages, p.protocol,
               [this](std::string_view path) { return journal.Mentions(path); }),
        journal(
            p.files, p.clock,
            [](std::span<const std::uint8_t> bytes) { return RestorableBackup(bytes); },
            p.protocol),
        writer(flash, backup, ports.messages, p.splash, &journal, p.protocol),
        restore(p.files, flash, reader, writer, ports.messages),
        slots(cards, host, loader) {}

  FlashUpdateSystem(const FlashUpdateSystem&) = delete;
  FlashUpdateSystem& operator=(const FlashUpdateSystem&) = delete;

  ProtocolMessages recorded_messages;
  Ports ports;  // as handed in, with the messages through recorded_messages
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
