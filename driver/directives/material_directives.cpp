#include "driver/directives/material_directives.h"

#include <climits>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "core/text.h"
#include "driver/directives/word_list.h"
#include "driver/input/input_reader.h"
#include "driver/input/value_forms.h"

namespace directives {
int32_t complexGeometry = -1;
std::vector<MATERIAL> materials(kMaterialGrowth);
int32_t nMaterials = 0;
int32_t elementZ[kMaxElements] = {};
int32_t nElem_tot = 0;
}  // namespace directives

namespace {

// The keywords of this module that are written alone, with their keyword
// indices; M<n> is recognised by its form.
struct MATERIALKEYWORD {
  const char* keyword;
  int index;
};
const MATERIALKEYWORD kMaterialKeywords[] = {{"COMPLEX_GEOMETRY", kComplexGeometryKeyword}, {"MAT", kMatKeyword}};

// Two compositions are the same when every fraction agrees to this relative
// tolerance (rounding of the normalisation aside).
constexpr double kSameFractionTolerance = 1e-12;

// What one material line says, before it is stored.
struct MATERIALINPUT {
  int32_t nElements = 0;
  int32_t z[kMaxElements] = {};
  double fraction[kMaxElements] = {};  // by position in the line
  int32_t forcing = -1;
};

const char* Article(bool complex) { return complex ? "a" : "the"; }

// Skips an optional name in double quotes; returns the text after it, or null
// after the message when the closing quote is missing.
const char* SkipMaterialName(const char* text, bool complex) {
  text = SkipBlanks(text);
  if (*text != '"') return text;
  const char* close = std::strchr(text + 1, '"');
  if (close == nullptr) {
    printf("Error: Missing closing quote in the name of %s material.\n", Article(complex));
    return nullptr;
  }
  return close + 1;
}

int FindElement(const MATERIALINPUT& m, int32_t z) {
  for (int i = 0; i < m.nElements; ++i) {
    if (m.z[i] == z) return i;
  }
  return -1;
}

// Global element index of z, appended to elementZ when new; -1 after the
// message when the list is full.
int GlobalElementIndex(int32_t z) {
  for (int i = 0; i < directives::nElem_tot; ++i) {
    if (directives::elementZ[i] == z) return i;
  }
  if (directives::nElem_tot >= kMaxElements) {
    printf("Error: Number of chemical elements exceeds %d.\n", kMaxElements);
    return -1;
  }
  directives::elementZ[directives::nElem_tot] = z;
  return directives::nElem_tot++;
}

// Reads an atomic number and its fraction (the words at *pos and after).
bool ReadElementPair(const WORDLIST& words, size_t* pos, bool complex, MATERIALINPUT* m) {
  const char* zText = words[*pos].c_str();
  if (m->nElements >= kMaxElements) {
    printf("Error: Number of chemical elements exceeds %d.\n", kMaxElements);
    return false;
  }
  int64_t z = 0;
  if (!ReadWholeInteger(zText, &z) || z < 1 || z > kMaxElements) {
    printf("Error: Illegal atomic number \"%s\".\n", zText);
    return false;
  }
  if (FindElement(*m, static_cast<int32_t>(z)) >= 0) {
    printf("Error: Duplicate atomic number %d.\n", static_cast<int>(z));
    return false;
  }
  if (++*pos >= words.size()) {
    printf("Error: Element fraction is missing.\n");
    return false;
  }
  const char* fText = words[*pos].c_str();
  double f = 0.0;
  if (!ReadWholeNumber(fText, &f) || f == 0.0) {
    printf("Error: Illegal element fraction \"%s\".\n", fText);
    return false;
  }
  if (complex && GlobalElementIndex(static_cast<int32_t>(z)) < 0) return false;
  m->z[m->nElements] = static_cast<int32_t>(z);
  m->fraction[m->nElements] = f;
  ++m->nElements;
  return true;
}

// The items of a material line: element pairs and at most one FORCE pair.
bool ReadMaterialItems(const WORDLIST& words, bool complex, MATERIALINPUT* m) {
  bool forceValueExpected = false;
  for (size_t pos = 0; pos < words.size(); ++pos) {
    const char* word = words[pos].c_str();
    if (forceValueExpected) {
      int64_t v = 0;
      if (!ReadWholeInteger(word, &v) || (v != 0 && v != 1)) {
        printf(
            "Error: Illegal value \"%s\" of the option to apply interaction forcing in %s material (it must be 0 or "
            "1).\n",
            word, Article(complex));
        return false;
      }
      m->forcing = static_cast<int32_t>(v);
      forceValueExpected = false;
    } else if (EqualNoCase(word, "FORCE")) {
      if (m->forcing >= 0) {
        printf("Error: Duplicate specification of the option to apply interaction forcing in %s material.\n",
               Article(complex));
        return false;
      }
      forceValueExpected = true;
    } else if (!ReadElementPair(words, &pos, complex, m)) {
      return false;
    }
  }
  if (forceValueExpected) {
    printf("Error: Value of the option to apply interaction forcing is missing in the definition of %s material.\n",
           Article(complex));
    return false;
  }
  // A material of nothing but the forcing pair has no composition to normalise.
  if (m->nElements == 0) {
    printf("Error: Missing specification of %s material.\n", Article(complex));
    return false;
  }
  return true;
}

// One kind per material: atom fractions (positive) or mass fractions (negative).
bool NormaliseFractions(MATERIALINPUT* m) {
  double sum = 0.0;
  for (int i = 0; i < m->nElements; ++i) {
    if ((m->fraction[i] > 0.0) != (m->fraction[0] > 0.0)) {
      printf("Error: Positive fractions are mixed with negative ones.\n");
      return false;
    }
    sum += std::fabs(m->fraction[i]);
  }
  for (int i = 0; i < m->nElements; ++i) m->fraction[i] /= sum;
  return true;
}

bool MaterialHasElement(const MATERIAL& rec, int32_t elementIndex) {
  for (int i = 0; i < rec.nElements; ++i) {
    if (rec.element[i] == elementIndex) return true;
  }
  return false;
}

// Index of the first earlier record with the same composition, or -1.
int FindSameComposition(const MATERIALINPUT& m, const int32_t* elementIndex) {
  for (int k = 0; k < directives::nMaterials; ++k) {
    const MATERIAL& rec = directives::materials[k];
    if (rec.nElements != m.nElements) continue;
    bool same = true;
    for (int i = 0; i < m.nElements && same; ++i) {
      const int32_t g = elementIndex[i];
      same = MaterialHasElement(rec, g) && std::fabs(m.fraction[i] / rec.fraction[g] - 1.0) <= kSameFractionTolerance;
    }
    if (same) return k;
  }
  return -1;
}

void StoreComposition(const MATERIALINPUT& m, const int32_t* elementIndex, MATERIAL* rec) {
  rec->nElements = m.nElements;
  for (int i = 0; i < m.nElements; ++i) {
    rec->element[i] = elementIndex[i];
    rec->fraction[elementIndex[i]] = m.fraction[i];
  }
  rec->forcing = static_cast<int8_t>(m.forcing);
}

bool AppendComplexMaterial(int32_t number, const MATERIALINPUT& m) {
  if (directives::nMaterials >= kMaxMaterials) {
    printf("Error: Number of materials exceeds %d.\n", kMaxMaterials);
    return false;
  }
  if (directives::nMaterials % kMaterialGrowth == 0)
    directives::materials.resize(static_cast<size_t>(directives::nMaterials) + kMaterialGrowth);
  int32_t elementIndex[kMaxElements];
  for (int i = 0; i < m.nElements; ++i) elementIndex[i] = GlobalElementIndex(m.z[i]);
  MATERIAL& rec = directives::materials[directives::nMaterials];
  rec.number = number;
  const int same = FindSameComposition(m, elementIndex);
  if (same >= 0) {
    printf("Warning: Material %d has the same composition as material %d.\n", number,
           directives::materials[same].number);
    rec.nElements = -1 - same;
    rec.forcing = static_cast<int8_t>(m.forcing);
  } else {
    StoreComposition(m, elementIndex, &rec);
  }
  ++directives::nMaterials;
  return true;
}

void StoreLayerMaterial(const MATERIALINPUT& m) {
  int32_t elementIndex[kMaxElements];
  for (int i = 0; i < m.nElements; ++i) {
    elementIndex[i] = i;
    directives::elementZ[i] = m.z[i];
  }
  directives::materials.assign(1, MATERIAL{});
  directives::materials[0].number = 0;
  StoreComposition(m, elementIndex, &directives::materials[0]);
  directives::nMaterials = 1;
  directives::nElem_tot = m.nElements;
}

// The material line after its keyword, parsed and checked.
bool ReadMaterialBody(bool complex, MATERIALINPUT* m) {
  const char* rest = RestOfLine();
  const char* items = SkipMaterialName(rest != nullptr ? rest : "", complex);
  if (items == nullptr) return false;
  const WORDLIST words = SplitWords(items);
  if (words.empty()) {
    printf("Error: Missing specification of %s material.\n", Article(complex));
    return false;
  }
  return ReadMaterialItems(words, complex, m) && NormaliseFractions(m);
}

bool HandleComplexGeometry() {
  const char* value = NextWord();
  if (value == nullptr) {
    printf("Error: Value of the \"complex geometry\" switch is missing.\n");
    return false;
  }
  const int32_t v = PlainInteger(value);
  if (v != 0 && directives::complexGeometry == 0) {
    printf(
        "Error: Setting the complex geometry option is not allowed here, because the previous directives imply simple "
        "geometry.\n");
    return false;
  }
  if (v == 0 && directives::complexGeometry > 0) {
    printf(
        "Error: Setting the simple geometry option is not allowed here, because the previous directives imply complex "
        "geometry.\n");
    return false;
  }
  const int64_t magnitude = v < 0 ? -static_cast<int64_t>(v) : v;
  directives::complexGeometry = static_cast<int32_t>(magnitude > INT32_MAX ? INT32_MAX : magnitude);
  return true;
}

bool HandleNumberedMaterial(const char* word) {
  int32_t number = 0;
  if (!ReadKeywordNumber(word + 1, &number)) {
    printf(
        "Error in specification of the material \"%s\" (the first keyword format must be \"M<n>\", where \"<n>\" is a "
        "positive integer number less than 2^31 = 2147483648.\n",
        word);
    return false;
  }
  if (!RequireComplexGeometry("M<n>")) return false;
  for (int k = 0; k < directives::nMaterials; ++k) {
    if (directives::materials[k].number == number) {
      printf("Error: Duplicate material identifier \"M%d\".\n", number);
      return false;
    }
  }
  MATERIALINPUT m;
  return ReadMaterialBody(true, &m) && AppendComplexMaterial(number, m);
}

bool HandleLayerMaterial() {
  if (!RequireSimpleGeometry("MAT")) return false;
  MATERIALINPUT m;
  if (!ReadMaterialBody(false, &m)) return false;
  StoreLayerMaterial(m);
  return true;
}

}  // namespace

bool RequireSimpleGeometry(const char* keyword) {
  if (directives::complexGeometry > 0) {
    printf(
        "Error: Keyword \"%s\" can be used only in simple geometry mode, but the previous directives imply complex "
        "geometry.\n",
        keyword);
    return false;
  }
  directives::complexGeometry = 0;
  return true;
}

bool RequireComplexGeometry(const char* keyword) {
  if (directives::complexGeometry == 0) {
    printf(
        "Error: Keyword \"%s\" can be used only in complex geometry mode, but the previous directives imply simple "
        "geometry.\n",
        keyword);
    return false;
  }
  if (directives::complexGeometry < 0) directives::complexGeometry = 1;
  return true;
}

bool IsMaterialNumberKeyword(const char* word) {
  return (word[0] == 'M' || word[0] == 'm') && word[1] != '\0' && PlainInteger(word + 1) > 0;
}

bool HandleMaterialDirective(const char* word) {
  int keyword = -1;
  for (const MATERIALKEYWORD& k : kMaterialKeywords) {
    if (EqualNoCase(word, k.keyword)) keyword = k.index;
  }
  if (keyword < 0 && !IsMaterialNumberKeyword(word)) return false;
  input::lastKeyword = keyword;
  if (input::inputPass == 0) {
    SkipRestOfLine();
    input::lineDone = true;
    return true;
  }
  bool ok = false;
  if (keyword == kComplexGeometryKeyword) {
    ok = HandleComplexGeometry();
  } else if (keyword == kMatKeyword) {
    ok = HandleLayerMaterial();
  } else {
    ok = HandleNumberedMaterial(word);
  }
  input::lineDone = ok;
  return true;
}

void ListMaterialDirectives(KEYWORDNAMES* names) {
  for (const MATERIALKEYWORD& k : kMaterialKeywords) AddKeywordName(names, k.keyword);
  AddKeywordName(names, "M<n>");
}

void ResetMaterialDirectives() {
  directives::complexGeometry = -1;
  directives::materials.assign(kMaterialGrowth, MATERIAL{});
  directives::nMaterials = 0;
  std::memset(directives::elementZ, 0, sizeof(directives::elementZ));
  directives::nElem_tot = 0;
}
