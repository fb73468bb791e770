// The element array of a problem in one pooled block: the Elem records of all
// elements (record i is the element of global index i) followed by the tables
// of every element, each packed with the length its data have and referenced
// from its record by a block-relative offset (core/relative.h). The block holds
// no address: a byte copy of it to any other address, a CUDA device's memory
// included, is a valid element array there.
#pragma once

#include <cstdint>

#include "core/elem.h"
#include "driver/data/element_staging.h"

struct ELEMENTPOOL {
  Elem* elements = nullptr;  // the block: records [count], then the tables
  int32_t count = 0;         // records
  int64_t bytes = 0;         // bytes in use
  int64_t capacity = 0;      // bytes of the block's pages (grown by half when full)
};

// A new pool of `count` zeroed records; the tables of record i come with
// AddElementToPool. The block of an earlier pool is reused (its elements are
// gone).
void StartElementPool(int count, ELEMENTPOOL* pool);

// Bytes that the tables of a staging record take in a pool.
int64_t PackedTableBytes(const ElemStaging& staging);

// Copies the staging record into record i of the pool: its scalars and small
// arrays into the record, its tables to the end of the block. Tables of equal
// contents that are twins by construction (the positron cross sections that
// copy the electron ones, the cosines of the photoelectron tables) are stored
// once.
void AddElementToPool(const ElemStaging& staging, int i, ELEMENTPOOL* pool);

// Where a fast index of an element lies in its record: the energy grids of
// the excitation loss (family kExcLoss), of subshell s's knock-on spectra
// (kIonEnergy) and of the elastic distributions (kElasticEnergy), and the
// cumulative tables of spectrum e of subshell s (kIonCum) and of elastic
// distribution e (kElasticCum).
enum class INDEXFAMILY { kExcLoss, kIonEnergy, kIonCum, kElasticEnergy, kElasticCum };
struct INDEXSLOT {
  INDEXFAMILY family;
  int s;  // subshell
  int e;  // incident energy
};

// The index at `slot` of a record.
ELEMINDEX& PooledIndex(Elem& record, const INDEXSLOT& slot);

// Copies an index built outside the pool (with host tables) to `slot` of
// record i, whose tables AddElementToPool packed: the block grows by its
// entries, so that an element's indexes can be built one at a time after
// its staging record is gone.
void AddIndexToPool(const INDEXDATA& index, int i, const INDEXSLOT& slot, ELEMENTPOOL* pool);

// Releases the block to its used size once every element is in.
void TrimElementPool(ELEMENTPOOL* pool);

// Releases the block and empties the pool.
void FreeElementPool(ELEMENTPOOL* pool);
