// Fixed English texts for the Win32 codes whose system messages are written with inserts
// (%1, %hs, ...) that a message without arguments cannot fill, so the system text would
// show its raw insert markers.
#include <algorithm>
#include <array>
#include <cstdint>

#include "exc/error_text.h"

namespace exc {
namespace {

struct known_error_t {
  uint32_t code;
  const char* text;
};

constexpr const char kCannotRun[] = "The operating system cannot run the application.";
constexpr const char kMachineTypeMismatch[] =
    "{Machine Type Mismatch} The image file is valid, but is for a machine type other than the "
    "current machine.";

// Sorted by code.
constexpr std::array<known_error_t, 73> kKnownErrors = {{
    {34, "The wrong diskette is in the drive."},
    {106, "Insert the diskette for drive."},
    {129, "The application cannot be run in Win32 mode."},
    {182, kCannotRun},
    {188, kCannotRun},
    {189, kCannotRun},
    {190, kCannotRun},
    {191, "Cannot run the application in Win32 mode."},
    {192, kCannotRun},
    {193, "The application is not a valid Win32 application."},
    {194, kCannotRun},
    {195, kCannotRun},
    {198, kCannotRun},
    {201, kCannotRun},
    {202, kCannotRun},
    {216,
     "This version of the application is not compatible with the version of Windows you're "
     "running. Check your computer's system information and then contact the software "
     "publisher."},
    {217, "The image file is signed, unable to modify."},
    {218, "The image file is strong signed, unable to modify."},
    {317, "The system cannot find message text for message in the message file."},
    {573, "{Missing System File} The required system file is bad or missing."},
    {574, "{Application Error} An exception occurred in the application."},
    {576, "{Unable to Create Paging File} The creation of the paging file failed."},
    {591,
     "{Fatal System Error} A system process terminated unexpectedly. The system has been shut "
     "down."},
    {594,
     "{Device Timeout} The specified I/O operation was not completed before the time-out "
     "period expired."},
    {596,
     "{Delayed Write Failed} Windows was unable to save all the data for the file. The data "
     "has been lost. This error may be caused by a failure of your computer hardware or "
     "network connection. Please try to save this file elsewhere."},
    {609,
     "{Invalid DLL Entrypoint} The dynamic link library is not written correctly. The stack "
     "pointer has been left in an inconsistent state."},
    {610,
     "{Invalid Service Callback Entrypoint} The service is not written correctly. The stack "
     "pointer has been left in an inconsistent state."},
    {623,
     "{Illegal System DLL Relocation} A system DLL was relocated in memory. The application "
     "will not run properly."},
    {633,
     "{Driver Failed Sleep} A driver does not support standby mode. Updating this driver may "
     "allow the system to go to standby mode."},
    {634, "A system file has become corrupt and has been replaced."},
    {637,
     "A system image is not properly signed. The file has been replaced with the signed file. "
     "The system has been shut down."},
    {648, "An error was reported while enumerating the devices of the system."},
    {652, "There was an error processing the driver database."},
    {655,
     "{Volume Shadow Copy Service} Please wait while the Volume Shadow Copy Service prepares "
     "the volume for hibernation."},
    {656,
     "The system has failed to hibernate. Hibernation will be disabled until the system is "
     "restarted."},
    {674, "An invalid Plug and Play device ID was reported."},
    {685,
     "{Registry Hive Recovered} A registry hive was corrupted and it has been recovered. Some "
     "data might have been lost."},
    {686,
     "The application is attempting to run executable code from a module that may be "
     "insecure. A secure alternative is available."},
    {687,
     "The application is loading executable code from a module that may be incompatible with "
     "previous releases of the operating system. An alternative is available."},
    {703,
     "{Invalid Current Directory} The process cannot switch to the startup current "
     "directory."},
    {706, kMachineTypeMismatch},
    {712, "Checking file system."},
    {713, "{Fatal Application Exit} The application has exited."},
    {716, "A service notification was received."},
    {718, "An application popup was reported."},
    {720, kMachineTypeMismatch},
    {724, "The CardBus device is not supported."},
    {728, "The system has detected that the system firmware (BIOS) was updated."},
    {746,
     "{Connect Failure on Primary Transport} An attempt was made to connect to the remote "
     "server on the primary transport, but the connection failed. The computer WAS able to "
     "connect on a secondary transport."},
    {782, "The system power state is transitioning."},
    {783, "The system power state is transitioning, and could transition to another state."},
    {785, "Access to the object is monitored by a policy rule."},
    {786, "Access to the object has been restricted by your Administrator by a policy rule."},
    {788,
     "{Delayed Write Failed} Windows was unable to save all the data for the file; the data "
     "has been lost. This error may be caused by network connectivity issues. Please try to "
     "save this file elsewhere."},
    {789,
     "{Delayed Write Failed} Windows was unable to save all the data for the file; the data "
     "has been lost. This error was returned by the server on which the file exists. Please "
     "try to save this file elsewhere."},
    {790,
     "{Delayed Write Failed} Windows was unable to save all the data for the file; the data "
     "has been lost. This error may be caused if the device has been removed or the media is "
     "write-protected."},
    {1286,
     "The application is a 16-bit application. You do not have permissions to execute 16-bit "
     "applications. Check your permissions with your system administrator."},
    {7062, "Disconnecting the console session is not supported."},
    {7063, "Reconnecting a disconnected session to the console is not supported."},
    {7065, "The request to control another session remotely was denied."},
    {8504, "The directory service could not complete the operation on the requested object."},
    {8541, "The directory service found a conflicting replication operation."},
    {8561, "The directory service cannot move the account group to another domain."},
    {8562, "The directory service cannot move the resource group to another domain."},
    {14052, "Manifest Parse Error."},
    {15003, "The template for an event definition cannot be found in the resource."},
    {15019, "A syntax error occurred."},
    {15023,
     "A channel property contains an invalid value. The value has an invalid type, is outside "
     "of valid range, cannot be updated, or is not supported by this type of channel."},
    {15024,
     "A publisher property contains an invalid value. The value has an invalid type, is "
     "outside of valid range, cannot be updated, or is not supported by this type of "
     "publisher."},
    {15029, "The substitution string for an insert index could not be found."},
    {15030, "The description string for a parameter reference could not be found."},
    {15032, "The event definition could not be found for the event id."},
    {15036, "The channel of the query can't be opened."},
}};

constexpr bool sorted_by_code() {
  for (size_t i = 1; i < kKnownErrors.size(); ++i) {
    if (kKnownErrors[i - 1].code >= kKnownErrors[i].code) return false;
  }
  return true;
}
static_assert(sorted_by_code(), "the lookup is a binary search");

}  // namespace

const char* find_known_error_text(uint32_t code) {
  const auto it =
      std::lower_bound(kKnownErrors.begin(), kKnownErrors.end(), code,
                       [](const known_error_t& entry, uint32_t c) { return entry.code < c; });
  return it != kKnownErrors.end() && it->code == code ? it->text : nullptr;
}

}  // namespace exc
