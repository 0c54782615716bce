/* A stand-in for the hardware-access kernel driver, for the Windows tests that
   run under Wine. It is not the product's driver and touches no hardware: it
   creates the device the program opens and answers the driver requests with
   the byte counts the program relies on, so that the service installation and
   the request path of the real program can be run end to end.

   Requests: control code 0x9C406000 (METHOD_BUFFERED), input a 20-byte block of
   little-endian words: kind, address, length, output pointer, output size.
     kind 1, 2 (port range on/off): success, no answer bytes;
     kind 3 (map): 4 bytes holding 0, since nothing can be mapped into the
       caller here;
     kind 4 (unmap): 4 bytes holding the status 1 (success).
   Any other code or kind, an input that is not 20 bytes, an output size field
   that differs from the output buffer, or an output buffer too small for the
   answer: STATUS_INVALID_PARAMETER. */

#include <ddk/wdm.h>

#define HWACCESS_IOCTL 0x9C406000u
#define BLOCK_SIZE 20u
#define ANSWER_SIZE 4u
#define UNMAP_OK 1u

static const WCHAR kDeviceName[] = L"\\Device\\Dev_HWACCESS";
static const WCHAR kLinkName[] = L"\\DosDevices\\Dev_HWACCESS";

static ULONG ReadWord(const UCHAR* bytes) {
  return (ULONG)bytes[0] | ((ULONG)bytes[1] << 8) | ((ULONG)bytes[2] << 16) |
         ((ULONG)bytes[3] << 24);
}

static void WriteWord(UCHAR* bytes, ULONG value) {
  bytes[0] = (UCHAR)value;
  bytes[1] = (UCHAR)(value >> 8);
  bytes[2] = (UCHAR)(value >> 16);
  bytes[3] = (UCHAR)(value >> 24);
}

static NTSTATUS Complete(PIRP irp, NTSTATUS status, ULONG_PTR answered) {
  irp->IoStatus.Status = status;
  irp->IoStatus.Information = answered;
  IoCompleteRequest(irp, IO_NO_INCREMENT);
  return status;
}

static NTSTATUS NTAPI DispatchCreateClose(PDEVICE_OBJECT device, PIRP irp) {
  (void)device;
  return Complete(irp, STATUS_SUCCESS, 0);
}

static NTSTATUS NTAPI DispatchControl(PDEVICE_OBJECT device, PIRP irp) {
  const PIO_STACK_LOCATION stack = IoGetCurrentIrpStackLocation(irp);
  const ULONG code = stack->Parameters.DeviceIoControl.IoControlCode;
  const ULONG in_size = stack->Parameters.DeviceIoControl.InputBufferLength;
  const ULONG out_size = stack->Parameters.DeviceIoControl.OutputBufferLength;
  UCHAR* const buffer = irp->AssociatedIrp.SystemBuffer; /* input in, answer out */
  ULONG answer = 0;
  (void)device;

  if (code != HWACCESS_IOCTL || in_size != BLOCK_SIZE || buffer == NULL ||
      ReadWord(buffer + 16) != out_size) {
    return Complete(irp, STATUS_INVALID_PARAMETER, 0);
  }
  switch (ReadWord(buffer)) {
    case 1:
    case 2:
      return Complete(irp, STATUS_SUCCESS, 0);
    case 3:
      answer = 0;
      break;
    case 4:
      answer = UNMAP_OK;
      break;
    default:
      return Complete(irp, STATUS_INVALID_PARAMETER, 0);
  }
  if (out_size < ANSWER_SIZE) {
    return Complete(irp, STATUS_INVALID_PARAMETER, 0);
  }
  WriteWord(buffer, answer);
  return Complete(irp, STATUS_SUCCESS, ANSWER_SIZE);
}

static void NTAPI Unload(PDRIVER_OBJECT driver) {
  UNICODE_STRING link;
  RtlInitUnicodeString(&link, kLinkName);
  IoDeleteSymbolicLink(&link);
  if (driver->DeviceObject != NULL) {
    IoDeleteDevice(driver->DeviceObject);
  }
}

NTSTATUS NTAPI DriverEntry(PDRIVER_OBJECT driver, PUNICODE_STRING registry_path) {
  UNICODE_STRING name;
  UNICODE_STRING link;
  PDEVICE_OBJECT device = NULL;
  NTSTATUS status;
  (void)registry_path;

  RtlInitUnicodeString(&name, kDeviceName);
  RtlInitUnicodeString(&link, kLinkName);
  status = IoCreateDevice(driver, 0, &name, FILE_DEVICE_UNKNOWN, 0, FALSE, &device);
  if (!NT_SUCCESS(status)) {
    return status;
  }
  status = IoCreateSymbolicLink(&link, &name);
  if (!NT_SUCCESS(status)) {
    IoDeleteDevice(device);
    return status;
  }
  driver->MajorFunction[IRP_MJ_CREATE] = DispatchCreateClose;
  driver->MajorFunction[IRP_MJ_CLOSE] = DispatchCreateClose;
  driver->MajorFunction[IRP_MJ_DEVICE_CONTROL] = DispatchControl;
  driver->DriverUnload = Unload;
  return STATUS_SUCCESS;
}
