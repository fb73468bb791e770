// The device runtime of the host-simulated device (host_device.h).
#include <cstdlib>
#include <cstring>
#include <map>
#include <memory>
#include <mutex>
#include <vector>

#include "gpu/cuda_runtime_wrappers.h"
#include "gpu/device_atomics.h"
#include "gpu/device_globals.h"
#include "gpu/device_runtime.h"
#include "gpu/host_device.h"
#include "gpu/kernel_launch.h"
#include "platform/memory.h"

namespace {

constexpr size_t kAllocationAlignment = 256;  // as cudaMalloc aligns
constexpr int kSimulatedMajor = 7;            // compute capability of a simulated device
constexpr int kSimulatedMinor = 5;
constexpr int kSimulatedClockKHz = 1500000;
constexpr int kSimulatedMemoryClockKHz = 7000000;
constexpr uint64_t kSimulatedSharedMemory = 48 * 1024;

// One allocation: its size as asked, and whether it is a paged block.
struct SIMULATEDBLOCK {
  size_t bytes;
  bool paged;
};

struct SIMULATEDDEVICE {
  DEVICEPROPERTIES properties;
  std::map<const char*, SIMULATEDBLOCK> allocations;  // by start address
  uint64_t bytesInUse = 0;
  SIMULATEDGLOBALS globals{};
  int lastLaunchError = kDeviceSuccess;
};

size_t Rounded(size_t bytes) {
  return (bytes + kAllocationAlignment - 1) / kAllocationAlignment * kAllocationAlignment;
}

void Release(const char* start, const SIMULATEDBLOCK& block) {
  if (block.paged) {
    ReleasePages(const_cast<char*>(start), Rounded(block.bytes));
  } else {
    std::free(const_cast<char*>(start));
  }
}

void FreeAll(SIMULATEDDEVICE& d) {
  for (const auto& [start, block] : d.allocations) Release(start, block);
  d.allocations.clear();
  d.bytesInUse = 0;
}

struct REGISTRY {
  std::mutex mutex;
  bool configured = false;
  std::vector<std::unique_ptr<SIMULATEDDEVICE>> devices;

  ~REGISTRY() {
    for (auto& d : devices) FreeAll(*d);
  }
};

REGISTRY& Registry() {
  static REGISTRY registry;
  return registry;
}

thread_local int currentSimulatedDevice = 0;

void Configure(REGISTRY& r, int count, uint64_t memory) {
  for (auto& d : r.devices) FreeAll(*d);
  r.devices.clear();
  for (int i = 0; i < count; ++i) {
    auto d = std::make_unique<SIMULATEDDEVICE>();
    d->properties = DEVICEPROPERTIES{kSimulatedMajor,          kSimulatedMinor, kSimulatedClockKHz,
                                     kSimulatedMemoryClockKHz, memory,          kSimulatedSharedMemory};
    r.devices.push_back(std::move(d));
  }
  r.configured = true;
}

// Clock rates from TQ_SIMULATED_CLOCKS_KHZ: one value per device, separated
// by commas; a missing or non-positive value keeps the device's default.
void ConfigureClocks(REGISTRY& r, const char* list) {
  if (list == nullptr) return;
  const char* at = list;
  for (auto& d : r.devices) {
    char* end = nullptr;
    const long kHz = std::strtol(at, &end, 10);
    if (end != at && kHz > 0 && kHz <= 2000000000L) d->properties.clockKHz = static_cast<int>(kHz);
    at = std::strchr(at, ',');
    if (at == nullptr) break;
    ++at;
  }
}

// The registry, configured from the environment on first use; the caller holds the lock.
REGISTRY& Devices() {
  REGISTRY& r = Registry();
  if (!r.configured) {
    const char* count = std::getenv("TQ_SIMULATED_DEVICES");
    Configure(r, count != nullptr ? std::atoi(count) : 0, kSimulatedDeviceMemory);
    ConfigureClocks(r, std::getenv("TQ_SIMULATED_CLOCKS_KHZ"));
    if (const char* step = std::getenv("TQ_SIMULATED_CLOCK_STEP")) {
      const long long n = std::atoll(step);
      simulated_clock::step.store(n > 0 ? static_cast<unsigned long long>(n) : 0, std::memory_order_relaxed);
    }
  }
  return r;
}

SIMULATEDDEVICE* Current(REGISTRY& r) {
  const int d = currentSimulatedDevice;
  return d >= 0 && d < static_cast<int>(r.devices.size()) ? r.devices[static_cast<size_t>(d)].get() : nullptr;
}

// The allocation of device d that holds [p, p + bytes), or null.
const SIMULATEDBLOCK* BlockHolding(const SIMULATEDDEVICE& d, const void* p, size_t bytes) {
  const char* c = static_cast<const char*>(p);
  auto it = d.allocations.upper_bound(c);
  if (it == d.allocations.begin()) return nullptr;
  --it;
  return c >= it->first && c + bytes <= it->first + it->second.bytes ? &it->second : nullptr;
}

// True when [p, p + bytes) lies inside one allocation of device d or inside
// its globals.
bool Inside(const SIMULATEDDEVICE& d, const void* p, size_t bytes) {
  const char* c = static_cast<const char*>(p);
  const char* globals = reinterpret_cast<const char*>(&d.globals);
  if (c >= globals && c + bytes <= globals + sizeof d.globals) return true;
  return BlockHolding(d, p, bytes) != nullptr;
}

template <typename F>
int WithCurrent(F f) {
  REGISTRY& r = Registry();
  std::lock_guard<std::mutex> lock(r.mutex);
  SIMULATEDDEVICE* d = Current(Devices());
  return d == nullptr ? (r.devices.empty() ? kDeviceNoDevice : kDeviceInvalidDevice) : f(*d);
}

}  // namespace

void SimulateDevices(int count, uint64_t globalMemory) {
  REGISTRY& r = Registry();
  std::lock_guard<std::mutex> lock(r.mutex);
  Configure(r, count, globalMemory);
  currentSimulatedDevice = 0;
  // The run's memory accounting starts afresh with the fresh devices.
  for (int d = 0; d < kMaxDevices; ++d) {
    deviceAllocated[d] = 0;
    deviceMemoryLimit[d] = d < count ? globalMemory : 0;
  }
}

void SimulateDeviceClock(int d, int clockKHz) {
  REGISTRY& r = Registry();
  std::lock_guard<std::mutex> lock(r.mutex);
  REGISTRY& devices = Devices();
  if (d >= 0 && d < static_cast<int>(devices.devices.size()) && clockKHz > 0) {
    devices.devices[static_cast<size_t>(d)]->properties.clockKHz = clockKHz;
  }
}

uint64_t SimulatedBytesInUse(int d) {
  REGISTRY& r = Registry();
  std::lock_guard<std::mutex> lock(r.mutex);
  REGISTRY& devices = Devices();
  return d >= 0 && d < static_cast<int>(devices.devices.size()) ? devices.devices[static_cast<size_t>(d)]->bytesInUse
                                                                : 0;
}

int DeviceCount(int* count) {
  REGISTRY& r = Registry();
  std::lock_guard<std::mutex> lock(r.mutex);
  *count = static_cast<int>(Devices().devices.size());
  return *count > 0 ? kDeviceSuccess : kDeviceNoDevice;
}

int DeviceProperties(int device, DEVICEPROPERTIES* properties) {
  REGISTRY& r = Registry();
  std::lock_guard<std::mutex> lock(r.mutex);
  REGISTRY& devices = Devices();
  if (device < 0 || device >= static_cast<int>(devices.devices.size())) {
    return devices.devices.empty() ? kDeviceNoDevice : kDeviceInvalidDevice;
  }
  *properties = devices.devices[static_cast<size_t>(device)]->properties;
  return kDeviceSuccess;
}

int SetDevice(int device) {
  REGISTRY& r = Registry();
  std::lock_guard<std::mutex> lock(r.mutex);
  REGISTRY& devices = Devices();
  if (device < 0 || device >= static_cast<int>(devices.devices.size())) {
    return devices.devices.empty() ? kDeviceNoDevice : kDeviceInvalidDevice;
  }
  currentSimulatedDevice = device;
  return kDeviceSuccess;
}

int ResetDevice() {
  return WithCurrent([](SIMULATEDDEVICE& d) {
    FreeAll(d);
    d.globals = SIMULATEDGLOBALS{};
    d.lastLaunchError = kDeviceSuccess;
    return kDeviceSuccess;
  });
}

int DeviceMalloc(void** devicePointer, size_t bytes) {
  *devicePointer = nullptr;
  return WithCurrent([&](SIMULATEDDEVICE& d) {
    // Device memory holds no pointers of the host's making: a real device's
    // fresh memory is not zeroed either, and the fill shows what the host
    // steps forget to set.
    // A large block (the banked-particle pool sized as a fraction of the
    // device's memory) is taken in pages that cost host memory only once
    // written; it starts zeroed.
    const size_t rounded = Rounded(bytes);
    if (bytes == 0 || d.bytesInUse + rounded > d.properties.globalMemory) return kDeviceMemoryAllocation;
    const bool paged = rounded >= kSimulatedPagedBlock;
    char* block =
        static_cast<char*>(paged ? AllocateZeroedPages(rounded) : std::aligned_alloc(kAllocationAlignment, rounded));
    if (block == nullptr) return kDeviceMemoryAllocation;
    if (!paged) std::memset(block, kSimulatedFreshByte, rounded);
    d.allocations[block] = SIMULATEDBLOCK{bytes, paged};
    d.bytesInUse += rounded;
    *devicePointer = block;
    return kDeviceSuccess;
  });
}

int DeviceFree(void* devicePointer) {
  if (devicePointer == nullptr) return kDeviceSuccess;
  return WithCurrent([&](SIMULATEDDEVICE& d) {
    auto it = d.allocations.find(static_cast<const char*>(devicePointer));
    if (it == d.allocations.end()) return kDeviceInvalidValue;
    d.bytesInUse -= Rounded(it->second.bytes);
    Release(it->first, it->second);
    d.allocations.erase(it);
    return kDeviceSuccess;
  });
}

int CopyHostToDevice(void* device, const void* host, size_t bytes) {
  return WithCurrent([&](SIMULATEDDEVICE& d) {
    if (bytes == 0) return kDeviceSuccess;
    if (!Inside(d, device, bytes) || host == nullptr) return kDeviceInvalidValue;
    std::memcpy(device, host, bytes);
    return kDeviceSuccess;
  });
}

int CopyDeviceToHost(void* host, const void* device, size_t bytes) {
  return WithCurrent([&](SIMULATEDDEVICE& d) {
    if (bytes == 0) return kDeviceSuccess;
    if (!Inside(d, device, bytes) || host == nullptr) return kDeviceInvalidValue;
    std::memcpy(host, device, bytes);
    return kDeviceSuccess;
  });
}

int SetDeviceBytes(void* device, int value, size_t bytes) {
  return WithCurrent([&](SIMULATEDDEVICE& d) {
    if (bytes == 0) return kDeviceSuccess;
    if (!Inside(d, device, bytes)) return kDeviceInvalidValue;
    const SIMULATEDBLOCK* block = BlockHolding(d, device, bytes);
    if (value == 0 && block != nullptr && block->paged) {
      ZeroPages(device, bytes);  // the pages go back: zeroing the pool costs no host memory
    } else {
      std::memset(device, value, bytes);
    }
    return kDeviceSuccess;
  });
}

// Launches run to their end on the calling thread: nothing is left to wait for.
int SynchronizeDevice() {
  return WithCurrent([](SIMULATEDDEVICE&) { return kDeviceSuccess; });
}

int LastLaunchError() {
  return WithCurrent([](SIMULATEDDEVICE& d) {
    const int result = d.lastLaunchError;
    d.lastLaunchError = kDeviceSuccess;
    return result;
  });
}

int BeginSimulatedLaunch() {
  return WithCurrent([](SIMULATEDDEVICE&) { return kDeviceSuccess; });
}

void RecordSimulatedLaunch(int result) {
  WithCurrent([&](SIMULATEDDEVICE& d) {
    d.lastLaunchError = result;
    return kDeviceSuccess;
  });
}

const char* DeviceErrorText(int code) {
  switch (code) {
    case kDeviceSuccess:
      return "no error";
    case kDeviceInvalidValue:
      return "invalid argument";
    case kDeviceMemoryAllocation:
      return "out of memory";
    case kDeviceInvalidConfiguration:
      return "invalid configuration argument";
    case kDeviceNoDevice:
      return "no CUDA-capable device is detected";
    case kDeviceInvalidDevice:
      return "invalid device ordinal";
    case kDeviceLaunchFailure:
      return "unspecified launch failure";
    default:
      return "unrecognized error code";
  }
}

int DeviceGlobalAddress(DEVICEGLOBAL global, void** address) {
  return WithCurrent([&](SIMULATEDDEVICE& d) {
    SIMULATEDGLOBALS& g = d.globals;
    switch (global) {
      case DEVICEGLOBAL::kConstants:
        *address = &g.constants;
        break;
      case DEVICEGLOBAL::kTallyTables:
        *address = &g.tallyTables;
        break;
      case DEVICEGLOBAL::kElementArray:
        *address = &g.elementArray;
        break;
      case DEVICEGLOBAL::kStreams:
        *address = &g.streams;
        break;
      case DEVICEGLOBAL::kTaskGlobals:
        *address = &g.task;
        break;
    }
    return kDeviceSuccess;
  });
}

// A kernel body runs on the thread that launched it, with the launching
// thread's current device; no lock is held while it runs.
SIMULATEDGLOBALS& SimulatedGlobals() {
  REGISTRY& r = Registry();
  SIMULATEDDEVICE* d = nullptr;
  {
    std::lock_guard<std::mutex> lock(r.mutex);
    d = Current(Devices());
  }
  if (d == nullptr) std::abort();  // a launch checks for a device first
  return d->globals;
}
