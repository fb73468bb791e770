#include "language/array_builtins.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <new>
#include <string>
#include <type_traits>
#include <utility>

#include "language/compiler.h"
#include "language/decimal_scanner.h"
#include "language/integer_conversion.h"
#include "language/memory_access.h"
#include "language/undefined_value.h"

namespace {

// Sub-codes of the built-in errors.
constexpr int kInvertNotDouble = 1;
constexpr int kInvertNotSquare = 2;
constexpr int kInvertNoMemory = 3;
constexpr int kSize2NotAnArray = 1;
constexpr int kFindNotFloating = 1;
constexpr int kHistCountsType = 3;
constexpr int kHistEdgesNotAscending = 4;
constexpr int kReadArrayNoFile = 1;
constexpr int kSort2PositionsNotInt = 1;
constexpr int kSort2PositionsTooShort = 2;

// The place of a value in the index base (0 or 1) as a 0-based index:
// x - 0.5 (base 1) or x + 0.5 (base 0), truncated.
int ZeroBasedIndex(double x, int base) {
  int32_t index = 0;
  IntegerPart(base == 1 ? x - 0.5 : x + 0.5, &index);
  return index;
}

int RoundedCount(double x) {
  int32_t count = 0;
  IntegerPartOfHalfUp(x, &count);
  return count;
}

// The array arguments of the routines; an operand without an array
// reference counts as an array that is not allocated.
struct ARRAYS {
  const SPECIALCALL& call;
  SPECIALOUTCOME failure;

  // Argument k with data to read (and, when `modified`, to write).
  bool Get(int k, bool modified, ARRAYARGUMENT* argument) {
    if (!ReadArrayArgument(call, k, argument)) {
      failure = ArrayFailure(0, kArrayNotAllocated);
      return false;
    }
    if (argument->array == nullptr) {
      failure = ArrayFailure(argument->index, modified ? kArrayReadOnly : kArrayNotAllocated);
      return false;
    }
    if (argument->data == nullptr) {
      failure = ArrayFailure(argument->index, kArrayNotAllocated);
      return false;
    }
    if (argument->outside) {
      failure = ArrayFailure(argument->index, kArrayIndexOutOfBounds);
      return false;
    }
    return true;
  }
  int Type(const ARRAYARGUMENT& argument) const { return argument.array->elementType; }
};

double ElementAsDouble(int type, const unsigned char* element) {
  if (type == kElementFloat) {
    float value;
    std::memcpy(&value, element, sizeof value);
    return value;
  }
  double value;
  std::memcpy(&value, element, sizeof value);
  return value;
}

// ---------------------------------------------------------------- sorting

// The order of the comparators: floating NaNs after every number and equal
// among themselves.
template <typename T>
int Compare(T x, T y) {
  if constexpr (std::is_floating_point_v<T>) {
    bool xNaN = std::isnan(x), yNaN = std::isnan(y);
    if (xNaN || yNaN) return xNaN == yNaN ? 0 : (xNaN ? 1 : -1);
  }
  return x < y ? -1 : (y < x ? 1 : 0);
}

template <typename T>
T Load(const unsigned char* data, int i) {
  T value;
  std::memcpy(&value, data + static_cast<size_t>(i) * sizeof(T), sizeof value);
  return value;
}

template <typename T>
void Store(unsigned char* data, int i, T value) {
  std::memcpy(data + static_cast<size_t>(i) * sizeof(T), &value, sizeof value);
}

// Quicksort of keys with their positions, the pivot's place a hole that the
// scans fill from either side. The pivot is the median of the first, middle
// and last elements, and the scans stop at elements equal to it, so that
// sorted, reverse-sorted and equal keys all split evenly; the smaller part is
// sorted by recursion and the larger by the loop, so the depth stays below
// log2(n).
template <typename T>
void QuickSortPaired(unsigned char* data, int low, int high, int* positions, int depth, int* maxDepth) {
  if (depth > *maxDepth) *maxDepth = depth;
  while (low < high) {
    // Median of three, moved to low.
    int middle = low + (high - low) / 2;
    auto swapElements = [&](int i, int j) {
      T a = Load<T>(data, i);
      Store<T>(data, i, Load<T>(data, j));
      Store<T>(data, j, a);
      std::swap(positions[i], positions[j]);
    };
    if (Compare(Load<T>(data, middle), Load<T>(data, low)) < 0) swapElements(middle, low);
    if (Compare(Load<T>(data, high), Load<T>(data, low)) < 0) swapElements(high, low);
    if (Compare(Load<T>(data, high), Load<T>(data, middle)) < 0) swapElements(high, middle);
    swapElements(low, middle);

    // Partition around the pivot in the hole at low.
    T pivot = Load<T>(data, low);
    int pivotPosition = positions[low];
    int left = low, right = high;
    while (left < right) {
      while (left < right && Compare(Load<T>(data, right), pivot) > 0) --right;
      if (left < right) {
        Store<T>(data, left, Load<T>(data, right));
        positions[left] = positions[right];
        ++left;
      }
      while (left < right && Compare(Load<T>(data, left), pivot) < 0) ++left;
      if (left < right) {
        Store<T>(data, right, Load<T>(data, left));
        positions[right] = positions[left];
        --right;
      }
    }
    Store<T>(data, left, pivot);
    positions[left] = pivotPosition;

    // Recurse into the smaller part, loop on the larger.
    if (left - low < high - left) {
      QuickSortPaired<T>(data, low, left - 1, positions, depth + 1, maxDepth);
      low = left + 1;
    } else {
      QuickSortPaired<T>(data, left + 1, high, positions, depth + 1, maxDepth);
      high = left - 1;
    }
  }
}

template <typename T>
int LocateSorted(int n, int hint, double x, int threshold, const T* a) {
  auto at = [a](int i) { return static_cast<double>(a[i]); };
  if (n <= 0) return -1;
  if (hint < 0 || hint >= n) hint = n / 2;
  if (n >= threshold) {
    // Bisection.
    if (x < at(0)) return -1;
    if (x >= at(n - 1)) return n - 1;
    int lo = 0, hi = n - 1, mid = hint;
    do {
      if (x > at(mid)) {
        lo = mid;
      } else if (x == at(mid)) {
        return mid;
      } else {
        hi = mid;
      }
      mid = (lo + hi) / 2;
    } while (mid > lo);
    return mid;
  }
  // Scan from the hint.
  if (x > at(hint)) {
    for (int j = hint + 1; j < n; ++j) {
      if (at(j) >= x) return at(j) == x ? j : j - 1;
    }
    return n - 1;
  }
  for (int j = hint; j >= 0; --j) {
    if (at(j) <= x) return j;
  }
  return -1;
}

// One whole line of the file, any length, without its line end; false at
// the end of the file when nothing was read.
bool ReadLine(FILE* file, std::string* line) {
  line->clear();
  char buffer[4096];
  bool any = false;
  while (std::fgets(buffer, sizeof buffer, file) != nullptr) {
    any = true;
    line->append(buffer);
    if (!line->empty() && line->back() == '\n') break;
  }
  while (!line->empty() && (line->back() == '\n' || line->back() == '\r')) line->pop_back();
  return any;
}

// A token of a data file as a number: the whole token must be one, a
// decimal comma standing for the point ("2,5" is 2.5).
bool TokenValue(std::string token, double* value) {
  size_t length = 0;
  if (ReadDecimal(token.c_str(), kSignedDecimal, value, &length) && length == token.size()) return true;
  if (length < token.size() && token[length] == ',') {
    token[length] = '.';
    if (ReadDecimal(token.c_str(), kSignedDecimal, value, &length) && length == token.size()) return true;
  }
  return false;
}

}  // namespace

// ---------------------------------------------------------------- Invert

void MatrixInvert(int n, double* a, double* determinant, int* l, int* m) {
  // Element (i, j) of MINV's column-major matrix.
  auto A = [a, n](int i, int j) -> double& { return a[static_cast<size_t>(j) * n + i]; };
  *determinant = 1.0;
  for (int k = 0; k < n; ++k) {
    // The largest element of the rest, column by column.
    double biga = 0.0;
    l[k] = k;
    m[k] = k;
    for (int j = k; j < n; ++j) {
      for (int i = k; i < n; ++i) {
        if (std::fabs(A(i, j)) > std::fabs(biga)) {
          biga = A(i, j);
          l[k] = i;
          m[k] = j;
        }
      }
    }
    // Exchange rows, then columns; the elements that leave row or column k change sign.
    if (l[k] > k) {
      for (int j = 0; j < n; ++j) {
        double hold = -A(k, j);
        A(k, j) = A(l[k], j);
        A(l[k], j) = hold;
      }
    }
    if (m[k] > k) {
      for (int i = 0; i < n; ++i) {
        double hold = -A(i, k);
        A(i, k) = A(i, m[k]);
        A(i, m[k]) = hold;
      }
    }
    if (biga == 0.0) {
      *determinant = 0.0;
      return;
    }
    // Divide the column by minus the pivot, reduce, divide the row by the pivot.
    for (int i = 0; i < n; ++i) {
      if (i != k) A(i, k) /= -biga;
    }
    for (int i = 0; i < n; ++i) {
      if (i == k) continue;
      double hold = A(i, k);
      for (int j = 0; j < n; ++j) {
        if (j != k) A(i, j) += hold * A(k, j);
      }
    }
    for (int j = 0; j < n; ++j) {
      if (j != k) A(k, j) /= biga;
    }
    *determinant *= biga;
    A(k, k) = 1.0 / biga;
  }
  // Undo the exchanges in reverse order: rows became columns and columns rows.
  for (int k = n - 2; k >= 0; --k) {
    if (l[k] > k) {
      for (int j = 0; j < n; ++j) {
        double hold = A(j, k);
        A(j, k) = -A(j, l[k]);
        A(j, l[k]) = hold;
      }
    }
    if (m[k] > k) {
      for (int i = 0; i < n; ++i) {
        double hold = A(k, i);
        A(k, i) = -A(m[k], i);
        A(m[k], i) = hold;
      }
    }
  }
}

SPECIALOUTCOME RunInvert(const SPECIALCALL& call) {
  ARRAYARGUMENT matrix;
  if (!ReadArrayArgument(call, 0, &matrix)) return ArrayFailure(0, kArrayNotAllocated);
  if (matrix.array == nullptr) return ArrayFailure(matrix.index, kArrayReadOnly);
  const ARRAYINFO& array = *matrix.array;
  if (array.elementType != kElementDouble) return BuiltinFailure(kInvertNotDouble);
  // A matrix: exactly two dimensions left free by the reference.
  int d = array.dimensionCount;
  if (d - matrix.level != 2) return BuiltinFailure(kInvertNotSquare);
  int64_t n = static_cast<int64_t>(array.dimensions[d - 2]) - matrix.offset;
  if (n != array.dimensions[d - 1]) return BuiltinFailure(kInvertNotSquare);
  if (matrix.data == nullptr) return ArrayFailure(matrix.index, kArrayNotAllocated);
  if (matrix.outside || ElementsLeft(array, matrix.data, sizeof(double)) < n * n) {
    return ArrayFailure(matrix.index, kArrayIndexOutOfBounds);
  }
  int* l = new (std::nothrow) int[static_cast<size_t>(n > 0 ? n : 1)];
  int* m = l != nullptr ? new (std::nothrow) int[static_cast<size_t>(n > 0 ? n : 1)] : nullptr;
  if (m == nullptr) {
    delete[] l;
    return BuiltinFailure(kInvertNoMemory);
  }
  double determinant = 1.0;
  // The matrix in place; memcpy-free because a double block is aligned.
  MatrixInvert(static_cast<int>(n), reinterpret_cast<double*>(matrix.data), &determinant, l, m);
  delete[] l;
  delete[] m;
  call.SetResult(determinant);
  return kGoOn;
}

// ---------------------------------------------------------------- Size, Size2

SPECIALOUTCOME RunSize(const SPECIALCALL& call) {
  ARRAYARGUMENT argument;
  if (!ReadArrayArgument(call, 0, &argument)) return ArrayFailure(0, kArrayNotAllocated);
  int64_t extent = 0;
  if (argument.array != nullptr) {
    extent = static_cast<int64_t>(argument.array->dimensions[argument.array->dimensionCount - 1]) - argument.offset;
  }
  call.SetResult(static_cast<double>(extent));
  return kGoOn;
}

SPECIALOUTCOME RunSize2(const SPECIALCALL& call) {
  VALUEDESCRIPTOR descriptor{};
  if (!call.Reference(0, &descriptor) || DescriptorKind(descriptor) != kReferenceArray ||
      descriptor.objectIndex >= call.language->nDeclaredArrays ||
      descriptor.objectIndex >= call.language->ArrayCount()) {
    return BuiltinFailure(kSize2NotAnArray);
  }
  const ARRAYINFO& array = call.language->arrays[descriptor.objectIndex];
  int level = DescriptorLevel(descriptor);
  int base = call.language->index_base;
  double number = call.Value(1);
  uint32_t extent = 0;
  int k = ZeroBasedIndex(number, base);
  bool belowBase = base == 1 ? !(number >= 0.5) : !(number >= -0.5);
  if (!belowBase && level + k < array.dimensionCount) {
    int64_t value = k == 0 ? static_cast<int64_t>(array.dimensions[level]) - descriptor.offset
                           : static_cast<int64_t>(array.dimensions[level + k]);
    extent = static_cast<uint32_t>(value);
  }
  call.SetResult(extent);
  return kGoOn;
}

// ---------------------------------------------------------------- Find, Find2

int LocateSortedDouble(int n, int hint, double x, int threshold, const double* a) {
  return LocateSorted(n, hint, x, threshold, a);
}

int LocateSortedFloat(int n, int hint, double x, int threshold, const float* a) {
  return LocateSorted(n, hint, x, threshold, a);
}

SPECIALOUTCOME RunFind(const SPECIALCALL& call, int code) {
  constexpr int kBisectionThreshold = 40;
  double x = call.Value(0);
  if (std::isnan(x)) {
    call.SetResult(kUndefined);
    return kGoOn;
  }
  ARRAYS arrays{call, {}};
  ARRAYARGUMENT table;
  if (!arrays.Get(1, false, &table)) return arrays.failure;
  int type = arrays.Type(table);
  if (type != kElementDouble && type != kElementFloat) return BuiltinFailure(kFindNotFloating);
  int n = table.extent;
  int threshold = kBisectionThreshold;
  if (code == 87) {  // Find2: count and method
    if (call.Value(3) >= 0.5) n = std::min(n, RoundedCount(call.Value(3)));
    threshold = call.Value(4) >= 1.5 ? 0 : n + 1;
  }
  int base = call.language->index_base;
  int hint = ZeroBasedIndex(call.Value(2), base);
  int position = type == kElementDouble
                     ? LocateSortedDouble(n, hint, x, threshold, reinterpret_cast<const double*>(table.data))
                     : LocateSortedFloat(n, hint, x, threshold, reinterpret_cast<const float*>(table.data));
  call.SetResult(position + base);
  return kGoOn;
}

// ---------------------------------------------------------------- Hist, Hist2

SPECIALOUTCOME RunHist(const SPECIALCALL& call, int code) {
  ARRAYS arrays{call, {}};
  ARRAYARGUMENT values, edges, counts;
  if (!arrays.Get(0, false, &values)) return arrays.failure;
  if (arrays.Type(values) != kElementDouble && arrays.Type(values) != kElementFloat) return BuiltinFailure(1);
  int nValues = values.extent;
  if (code == 89) {  // Hist2: count and accumulate
    int count = RoundedCount(call.Value(3));
    if (count >= 1 && count <= nValues) nValues = count;
  }
  if (!arrays.Get(1, false, &edges)) return arrays.failure;
  if (arrays.Type(edges) != kElementDouble && arrays.Type(edges) != kElementFloat) return BuiltinFailure(2);
  int nBins = edges.extent;
  if (!arrays.Get(2, true, &counts)) return arrays.failure;
  int countType = arrays.Type(counts);
  if (countType != kElementDouble && countType != kElementInt) return BuiltinFailure(kHistCountsType);
  nBins = std::min(nBins, counts.extent);
  bool accumulate = code == 89 && RoundedCount(call.Value(4)) != 0;

  const int valueType = arrays.Type(values), edgeType = arrays.Type(edges);
  const int valueSize = call.language->elementSizes[valueType];
  const int edgeSize = call.language->elementSizes[edgeType];
  auto edge = [&](int i) { return ElementAsDouble(edgeType, edges.data + static_cast<size_t>(i) * edgeSize); };
  for (int i = 1; i < nBins; ++i) {
    if (!(edge(i - 1) < edge(i))) return BuiltinFailure(kHistEdgesNotAscending);
  }
  if (!accumulate) std::memset(counts.data, 0, static_cast<size_t>(nBins) * (countType == kElementInt ? 4 : 8));
  int counted = 0;
  for (int v = 0; v < nValues; ++v) {
    double x = ElementAsDouble(valueType, values.data + static_cast<size_t>(v) * valueSize);
    for (int i = 0; i < nBins; ++i) {
      if (!(x <= edge(i))) continue;
      if (countType == kElementInt) {
        Store<uint32_t>(counts.data, i, Load<uint32_t>(counts.data, i) + 1u);  // wraps like the 32-bit sum
      } else {
        Store<double>(counts.data, i, Load<double>(counts.data, i) + 1.0);
      }
      ++counted;
      break;
    }
  }
  call.SetResult(counted);
  return kGoOn;
}

// ---------------------------------------------------------------- ReadArray, ReadArray2

SPECIALOUTCOME RunReadArray(const SPECIALCALL& call, int code) {
  FILE* file = call.language->readFile;
  if (file == nullptr) return BuiltinFailure(kReadArrayNoFile);
  ARRAYS arrays{call, {}};
  ARRAYARGUMENT target;
  if (!arrays.Get(0, true, &target)) return arrays.failure;
  int most = target.extent;
  if (code == 91 && call.Value(1) >= 1.0) most = std::min(most, RoundedCount(call.Value(1)));
  const int type = arrays.Type(target);
  const int size = call.language->elementSizes[type];

  int stored = 0;
  std::string line;
  while (stored < most && ReadLine(file, &line)) {
    size_t start = line.find_first_not_of(" \t");
    while (start != std::string::npos && stored < most) {
      size_t end = line.find_first_of(" \t", start);
      double value;
      if (!TokenValue(line.substr(start, end == std::string::npos ? std::string::npos : end - start), &value)) {
        call.SetResult(stored);
        return BuiltinFailure(kReadArrayNotANumber);
      }
      StoreElement(type, target.data + static_cast<size_t>(stored) * size, value);
      ++stored;
      start = end == std::string::npos ? end : line.find_first_not_of(" \t", end);
    }
  }
  call.SetResult(stored);
  return kGoOn;
}

// ---------------------------------------------------------------- Sort, Sort2

SPECIALOUTCOME RunSort(const SPECIALCALL& call) {
  ARRAYS arrays{call, {}};
  ARRAYARGUMENT target;
  if (!arrays.Get(0, true, &target)) return arrays.failure;
  int type = arrays.Type(target);
  std::qsort(target.data, static_cast<size_t>(target.extent), static_cast<size_t>(call.language->elementSizes[type]),
             call.language->sortComparators[type]);
  return kGoOn;
}

int SortPaired(int n, int* positions, int type, void* data, int base) {
  for (int i = 0; i < n; ++i) positions[i] = i + base;
  if (n < 2) return 0;
  unsigned char* bytes = static_cast<unsigned char*>(data);
  int high = n - 1;
  int depth = 0;
  switch (type) {
    case kElementDouble:
      QuickSortPaired<double>(bytes, 0, high, positions, 1, &depth);
      break;
    case kElementFloat:
      QuickSortPaired<float>(bytes, 0, high, positions, 1, &depth);
      break;
    case kElementInt:
      QuickSortPaired<int32_t>(bytes, 0, high, positions, 1, &depth);
      break;
    case kElementUInt:
      QuickSortPaired<uint32_t>(bytes, 0, high, positions, 1, &depth);
      break;
    case kElementInt2:
      QuickSortPaired<int16_t>(bytes, 0, high, positions, 1, &depth);
      break;
    case kElementUInt2:
      QuickSortPaired<uint16_t>(bytes, 0, high, positions, 1, &depth);
      break;
    case kElementInt1:
      QuickSortPaired<int8_t>(bytes, 0, high, positions, 1, &depth);
      break;
    case kElementUInt1:
      QuickSortPaired<uint8_t>(bytes, 0, high, positions, 1, &depth);
      break;
    default:
      break;
  }
  return depth;
}

SPECIALOUTCOME RunSort2(const SPECIALCALL& call) {
  ARRAYS arrays{call, {}};
  ARRAYARGUMENT keys, positions;
  if (!arrays.Get(0, true, &keys)) return arrays.failure;
  if (!ReadArrayArgument(call, 1, &positions)) return ArrayFailure(0, kArrayNotAllocated);
  if (positions.array != nullptr && positions.array->elementType != kElementInt) {
    return BuiltinFailure(kSort2PositionsNotInt);
  }
  if (!arrays.Get(1, true, &positions)) return arrays.failure;
  if (arrays.Type(positions) != kElementInt) return BuiltinFailure(kSort2PositionsNotInt);
  int n = keys.extent;
  if (positions.extent < n) return BuiltinFailure(kSort2PositionsTooShort);
  if (n == 0) return kGoOn;
  // The positions are written through an int view of the (aligned) block.
  SortPaired(n, reinterpret_cast<int*>(positions.data), arrays.Type(keys), keys.data, call.language->index_base);
  return kGoOn;
}

// ---------------------------------------------------------------- the registered routines

int BuiltinInvert(int code, CALLFRAME* frame, CALLSTATE* state, int instruction) {
  SPECIALCALL call = SpecialCallOf(frame, state, instruction);
  return FinishSpecialCall(call, code, RunInvert(call));
}

int BuiltinSize(int code, CALLFRAME* frame, CALLSTATE* state, int instruction) {
  SPECIALCALL call = SpecialCallOf(frame, state, instruction);
  return FinishSpecialCall(call, code, RunSize(call));
}

int BuiltinSize2(int code, CALLFRAME* frame, CALLSTATE* state, int instruction) {
  SPECIALCALL call = SpecialCallOf(frame, state, instruction);
  return FinishSpecialCall(call, code, RunSize2(call));
}

int BuiltinFind(int code, CALLFRAME* frame, CALLSTATE* state, int instruction) {
  SPECIALCALL call = SpecialCallOf(frame, state, instruction);
  return FinishSpecialCall(call, code, RunFind(call, code));
}

int BuiltinHist(int code, CALLFRAME* frame, CALLSTATE* state, int instruction) {
  SPECIALCALL call = SpecialCallOf(frame, state, instruction);
  return FinishSpecialCall(call, code, RunHist(call, code));
}

int BuiltinReadArray(int code, CALLFRAME* frame, CALLSTATE* state, int instruction) {
  SPECIALCALL call = SpecialCallOf(frame, state, instruction);
  return FinishSpecialCall(call, code, RunReadArray(call, code));
}

int BuiltinSort(int code, CALLFRAME* frame, CALLSTATE* state, int instruction) {
  SPECIALCALL call = SpecialCallOf(frame, state, instruction);
  return FinishSpecialCall(call, code, RunSort(call));
}

int BuiltinSort2(int code, CALLFRAME* frame, CALLSTATE* state, int instruction) {
  SPECIALCALL call = SpecialCallOf(frame, state, instruction);
  return FinishSpecialCall(call, code, RunSort2(call));
}
