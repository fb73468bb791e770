// indirect and memcpy reach only the language's own memory: the value slots
// of the compiled programs, the global and system values and the arrays'
// data blocks. A table of cases at the edges of each region, then a seeded
// fuzz test that checks every result and every byte of the language's
// memory and of guard blocks beside it against a model (run it under ASan to
// catch a read outside any allocation).
#include <gtest/gtest.h>

#include <bit>
#include <cstring>
#include <limits>
#include <memory>
#include <random>
#include <vector>

#include "language/compiler.h"
#include "language/memory_access.h"
#include "language/undefined_value.h"

namespace {

constexpr int kIndirect = 60;
constexpr int kMemcpy = 61;
constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();

double AddressOf(const void* p) { return static_cast<double>(reinterpret_cast<uintptr_t>(p)); }

struct REGION {
  unsigned char* begin;
  size_t bytes;
};

// A Compiler with three global parameters, two programs (one sized for
// running, one still being compiled) and three arrays of different types.
class LanguageMemory : public testing::Test {
 protected:
  Compiler language;
  std::vector<unsigned char> guard = std::vector<unsigned char>(4096, 0xA5);  // memory that is not the language's

  void SetUp() override {
    language.nGlobalParameters = 3;
    for (int p = 0; p < 2; ++p) language.programs.push_back(std::make_unique<PROGRAMRECORD>());
    CProgramCode& running = Code(0);
    running.Reset(2, 5);
    running.SizeValueBufferForRun();
    CProgramCode& compiling = Code(1);
    compiling.Reset(0, 0);
    for (int i = 0; i < 3; ++i) compiling.AddValueSlot();
    const int32_t five[] = {5}, seven[] = {7}, threeByFour[] = {3, 4};
    ASSERT_EQ(language.AddArray("d", kElementDouble, 1, five), kArrayAdded);
    ASSERT_EQ(language.AddArray("b", kElementUInt1, 1, seven), kArrayAdded);
    ASSERT_EQ(language.AddArray("m", kElementInt2, 2, threeByFour), kArrayAdded);
    FillWithPattern();
  }

  CProgramCode& Code(int p) { return language.programs[p]->code; }

  // The regions as the rule states them.
  std::vector<REGION> Regions() {
    std::vector<REGION> regions;
    auto add = [&](void* begin, size_t bytes) { regions.push_back({static_cast<unsigned char*>(begin), bytes}); };
    add(language.systemValues, sizeof language.systemValues);
    add(language.globalValues, 3 * sizeof(double));
    add(Code(0).values, static_cast<size_t>(Code(0).slotCount) * sizeof(double));
    add(Code(1).values, static_cast<size_t>(Code(1).slotCount) * sizeof(double));
    for (ARRAYINFO& array : language.arrays) add(array.data, static_cast<size_t>(array.byteSize));
    return regions;
  }

  // Everything a stray access could touch: the regions, the descriptor half
  // of the running program's buffer, the rest of the globals and the guard.
  std::vector<REGION> Watched() {
    std::vector<REGION> watched = Regions();
    watched.push_back({reinterpret_cast<unsigned char*>(Code(0).values + Code(0).slotCount),
                       static_cast<size_t>(Code(0).slotCount) * sizeof(double)});
    watched.push_back({reinterpret_cast<unsigned char*>(language.globalValues + 3), 5 * sizeof(double)});
    watched.push_back({guard.data(), guard.size()});
    return watched;
  }

  void FillWithPattern() {
    unsigned char next = 1;
    for (const REGION& region : Watched()) {
      for (size_t i = 0; i < region.bytes; ++i) region.begin[i] = next++;
    }
  }

  double Call(int code, std::vector<double> values) {
    std::vector<double*> pointers;
    for (double& value : values) pointers.push_back(&value);
    return language.ordinaryBuiltins[code](pointers.data());
  }

  bool IsUndefined(double value) { return std::bit_cast<uint64_t>(value) == kUndefinedBits; }
};

}  // namespace

TEST_F(LanguageMemory, IndirectReadsOnlyInsideTheRegions) {
  double* slots = Code(0).values;
  slots[13] = 2.5;
  language.globalValues[2] = -7;
  language.systemValues[10] = 4;
  double* data = static_cast<double*>(language.arrays[0].data);
  data[4] = 9.25;
  const unsigned char* bytes = static_cast<const unsigned char*>(language.arrays[1].data);  // 7 bytes
  double onStack = 0;

  struct Case {
    double address;
    bool readable;
  } cases[] = {
      {AddressOf(&slots[13]), true},
      {AddressOf(&slots[13]) + 0.4, true},                     // the integer part of x + 0.5
      {AddressOf(&slots[13]) - 0.4, true},
      {AddressOf(&language.globalValues[2]), true},
      {AddressOf(&language.globalValues[3]), false},           // beyond the declared globals
      {AddressOf(&language.systemValues[10]), true},
      {AddressOf(&language.systemValues[12]), true},
      {AddressOf(&language.systemValues[12]) + 1, false},      // one byte past the end
      {AddressOf(&data[4]), true},
      {AddressOf(&data[4]) + 1, false},
      {AddressOf(bytes), false},                               // 8 bytes of a 7-byte block
      {AddressOf(&slots[Code(0).slotCount - 1]), true},
      {AddressOf(&slots[Code(0).slotCount]), false},           // the descriptors
      {AddressOf(guard.data()), false},
      {AddressOf(&language.undefined), false},                 // the Compiler's other members
      {AddressOf(&onStack), false},                            // the stack
      {0, false}, {-1, false}, {kNaN, false}, {1e300, false}, {-1e300, false},
  };
  for (const Case& c : cases) {
    double got = Call(kIndirect, {c.address});
    if (!c.readable) {
      EXPECT_TRUE(IsUndefined(got)) << std::hex << static_cast<uint64_t>(c.address);
      continue;
    }
    uintptr_t address;
    ASSERT_TRUE(AddressFromValue(c.address, &address));
    double want;
    std::memcpy(&want, reinterpret_cast<const void*>(address), sizeof want);
    EXPECT_EQ(std::bit_cast<uint64_t>(got), std::bit_cast<uint64_t>(want));
  }
  EXPECT_EQ(Call(kIndirect, {AddressOf(&slots[13])}), 2.5);
  EXPECT_EQ(Call(kIndirect, {AddressOf(&data[4])}), 9.25);
}

TEST_F(LanguageMemory, MemcpyCopiesOnlyWithinTheRegions) {
  double* slots = Code(0).values;
  double* data = static_cast<double*>(language.arrays[0].data);
  slots[14] = 1.5;
  EXPECT_EQ(Call(kMemcpy, {AddressOf(&data[1]), AddressOf(&slots[14]), 8}), 0);
  EXPECT_EQ(data[1], 1.5);

  // Overlapping ranges copy as if through a buffer.
  for (int i = 0; i < 5; ++i) data[i] = i;
  EXPECT_EQ(Call(kMemcpy, {AddressOf(&data[1]), AddressOf(&data[0]), 32}), 0);
  EXPECT_EQ(std::vector<double>(data, data + 5), (std::vector<double>{0, 0, 1, 2, 3}));

  std::vector<unsigned char> before(guard);
  struct Case {
    double destination, source, count, result;
  } cases[] = {
      {AddressOf(&data[0]), AddressOf(&slots[13]), 0, 0},          // nothing to copy
      {0, kNaN, 0.4, 0},                                           // rounds to 0: nothing, addresses unused
      {AddressOf(&data[0]), AddressOf(&slots[13]), -0.4, 0},
      {AddressOf(&data[0]), AddressOf(&slots[13]), -0.6, -1},      // a negative count
      {AddressOf(&data[0]), AddressOf(&slots[13]), -1, -1},
      {AddressOf(&data[0]), AddressOf(&slots[13]), 3e9, -1},
      {AddressOf(&data[0]), AddressOf(&slots[13]), kNaN, -1},
      {AddressOf(&data[0]), AddressOf(&slots[13]), 2147483647.4, -1},  // a valid count, too long for both
      {AddressOf(&data[4]), AddressOf(&slots[13]), 9, -1},         // the destination runs past its block
      {AddressOf(&data[0]), AddressOf(&slots[Code(0).slotCount - 1]), 16, -1},  // the source does
      {AddressOf(guard.data()), AddressOf(&slots[13]), 8, -1},
      {AddressOf(&data[0]), AddressOf(guard.data()), 8, -1},
      {AddressOf(&language.globalValues[2]), AddressOf(&slots[13]), 16, -1},  // into the undeclared globals
      {kNaN, AddressOf(&slots[13]), 8, -1},
      {AddressOf(&data[0]), -5, 8, -1},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(Call(kMemcpy, {c.destination, c.source, c.count}), c.result)
        << std::hex << static_cast<uint64_t>(c.destination) << " " << static_cast<uint64_t>(c.source) << " "
        << c.count;
  }
  EXPECT_EQ(guard, before);
  EXPECT_EQ(std::vector<double>(data, data + 5), (std::vector<double>{0, 0, 1, 2, 3}));
}

// Random addresses and lengths, inside, across and outside the regions, with
// random fractions and the odd values (NaN, infinities, negatives, huge).
// Every call is checked against the model: the result, and every byte of the
// regions, of the descriptors, of the undeclared globals and of the guard.
TEST_F(LanguageMemory, FuzzedAddressesTouchNothingOutside) {
  const uint32_t seed = 987654321;
  constexpr int kCases = 200000;
  std::mt19937_64 generator(seed);
  auto uniform = [&](double lo, double hi) { return std::uniform_real_distribution<double>(lo, hi)(generator); };
  auto integer = [&](int64_t lo, int64_t hi) { return std::uniform_int_distribution<int64_t>(lo, hi)(generator); };

  std::vector<REGION> regions = Regions();
  std::vector<REGION> watched = Watched();
  const double oddValues[] = {kNaN, -kNaN, std::numeric_limits<double>::infinity(),
                              -std::numeric_limits<double>::infinity(), -1, 0, 0.49, 1e300, 18446744073709551616.0,
                              9007199254740993.0};

  auto pick = [&](const std::vector<REGION>& list) -> const REGION& {
    return list[static_cast<size_t>(integer(0, static_cast<int64_t>(list.size()) - 1))];
  };
  auto randomAddress = [&]() -> double {
    int64_t choice = integer(0, 99);
    double fraction = uniform(-0.4, 0.4);
    if (choice < 45) {  // inside a region
      const REGION& region = pick(regions);
      return AddressOf(region.begin) + static_cast<double>(integer(0, static_cast<int64_t>(region.bytes))) + fraction;
    }
    if (choice < 65) {  // around the ends of anything watched
      const REGION& region = pick(watched);
      double end = integer(0, 1) == 0 ? AddressOf(region.begin) : AddressOf(region.begin + region.bytes);
      return end + static_cast<double>(integer(-16, 16)) + fraction;
    }
    if (choice < 80) return AddressOf(guard.data()) + static_cast<double>(integer(0, 4095));
    if (choice < 90) return static_cast<double>(integer(0, int64_t(1) << 48));
    return oddValues[integer(0, sizeof oddValues / sizeof oddValues[0] - 1)];
  };
  auto randomCount = [&]() -> double {
    int64_t choice = integer(0, 99);
    if (choice < 60) return static_cast<double>(integer(1, 16));
    if (choice < 85) return static_cast<double>(integer(0, 200)) + uniform(-0.4, 0.4);
    const double odd[] = {0, -0.4, 0.49, -0.6, kNaN, -1, 3e9, 2147483647.4, 1e300, 8};
    return odd[integer(0, 9)];
  };

  // The model: the address a value denotes, and the region that holds a range.
  auto modelAddress = [](double value, uintptr_t* address) {
    if (std::isnan(value)) return false;
    double v = value + 0.5;
    *address = v <= 0 ? 0 : (v >= 18446744073709551616.0 ? UINTPTR_MAX : static_cast<uintptr_t>(v));
    return true;
  };
  auto holder = [&](uintptr_t begin, uint64_t bytes) -> const REGION* {
    for (const REGION& region : regions) {
      uintptr_t first = reinterpret_cast<uintptr_t>(region.begin);
      if (begin >= first && begin - first <= region.bytes && bytes <= region.bytes - (begin - first)) return &region;
    }
    return nullptr;
  };

  int copies = 0, reads = 0, refused = 0;
  for (int trial = 0; trial < kCases; ++trial) {
    // Snapshot of everything watched: the expected state after the call.
    std::vector<std::vector<unsigned char>> expected;
    for (const REGION& region : watched) expected.emplace_back(region.begin, region.begin + region.bytes);
    auto expectedBytesAt = [&](uintptr_t address) -> unsigned char& {
      for (size_t w = 0; w < watched.size(); ++w) {
        uintptr_t first = reinterpret_cast<uintptr_t>(watched[w].begin);
        if (address >= first && address - first < watched[w].bytes) return expected[w][address - first];
      }
      static unsigned char nowhere;
      ADD_FAILURE() << "model address outside the watched memory";
      return nowhere;
    };

    if (integer(0, 2) == 0) {
      double address = randomAddress();
      double got = Call(kIndirect, {address});
      uintptr_t a;
      if (modelAddress(address, &a) && holder(a, 8) != nullptr) {
        unsigned char want[8];
        for (int i = 0; i < 8; ++i) want[i] = expectedBytesAt(a + i);
        ASSERT_EQ(std::memcmp(&got, want, 8), 0) << "seed " << seed << " trial " << trial;
        ++reads;
      } else {
        ASSERT_TRUE(IsUndefined(got)) << "seed " << seed << " trial " << trial;
        ++refused;
      }
    } else {
      double destination = randomAddress(), source = randomAddress(), count = randomCount();
      double got = Call(kMemcpy, {destination, source, count});
      double want = -1;
      if (count > -0.5 && count < 2147483647.5) {
        uint64_t n = static_cast<uint64_t>(count + 0.5);
        uintptr_t d, s;
        if (n == 0) {
          want = 0;
        } else if (modelAddress(destination, &d) && modelAddress(source, &s) && holder(d, n) && holder(s, n)) {
          std::vector<unsigned char> moved(n);
          for (uint64_t i = 0; i < n; ++i) moved[i] = expectedBytesAt(s + i);
          for (uint64_t i = 0; i < n; ++i) expectedBytesAt(d + i) = moved[i];
          want = 0;
          ++copies;
        }
      }
      if (want < 0) ++refused;
      ASSERT_EQ(got, want) << "seed " << seed << " trial " << trial << ": memcpy(" << std::hex
                           << static_cast<uint64_t>(destination) << ", " << static_cast<uint64_t>(source) << ", "
                           << std::dec << count << ")";
    }
    for (size_t w = 0; w < watched.size(); ++w) {
      ASSERT_EQ(std::memcmp(watched[w].begin, expected[w].data(), watched[w].bytes), 0)
          << "seed " << seed << " trial " << trial << ": watched block " << w << " differs";
    }
  }
  // The mix reached all three outcomes often.
  EXPECT_GT(copies, kCases / 20);
  EXPECT_GT(reads, kCases / 50);
  EXPECT_GT(refused, kCases / 4);
}
