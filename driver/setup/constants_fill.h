// Fills the Constants record that every transport worker reads (the host
// copy; each device receives its own copy with device addresses) from the
// run's option variables and the tables of the set-up.
#pragma once

// After the per-material tables: every field but the device addresses.
void FillHostConstants();
