// The keyword indices of the directive language: each directive module numbers
// its keywords from its own base, so that the input passes can count every
// keyword's uses (a keyword may appear once) in one table.
#pragma once

// Keyword-index ranges of the directive modules (each < kKeywordIndexCount).
enum KeywordIndexBase {
  kRunKeywordBase = 100,           // run, GPU and file-name options
  kMaterialKeywordBase = 200,      // MAT, M<n>, COMPLEX_GEOMETRY
  kSourceKeywordBase = 400,        // source, layer and physics models
  kTransportKeywordBase = 700,     // transport, index, forcing and track options
  kPulseHeightKeywordBase = 1000,  // pulse-height tallies
  kTallyKeywordBase = 1100,        // binning ranges, plane tallies, tally switches
  kGeometryKeywordBase = 1500,     // surfaces, macrobodies, cells, unions, transformations
  kPrecisionKeywordBase = 2500,    // precision, plane sets, geometry set-up
};
