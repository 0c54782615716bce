#include "support/app_rig.h"

#include "support/machine_faults.h"

namespace fu::test {

AppRig::~AppRig() {
  ExpectNoMachineFaults(Pc().MachineFaults());
}

void AppRig::Start() {
  form.reset();
  system.reset();
  view = std::make_unique<RecordingMainWindow>();
  system = std::make_unique<FlashUpdateSystem>(
      Ports{machine->System(), machine->Ports(), machine->Bus(), machine->Time(), machine->Drive(),
            messages, splash, *protocol});
  form = std::make_unique<TForm1>(*system, *view);
  form->FormCreate();
}

void AppRig::LosePowerAndStart() {
  Pc().LosePower();
  form.reset();
  system.reset();
  ExpectNoMachineFaults(Pc().MachineFaults());  // the new PC's list starts empty
  machine.reset();
  machine.emplace(folder.Path() / "pc");
  Start();
}

}  // namespace fu::test
