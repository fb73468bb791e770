// The notice that travels with every file derived from the PENELOPE-2018
// database tables, word for word.
#pragma once

inline constexpr const char* kPenelopeLicenceNotice =
    "PENELOPE/PENGEOM (version 2018)\n"
    "Copyright (c) 2001-2018\n"
    "Universitat de Barcelona\n"
    "\n"
    "Permission to use, copy, modify, distribute and sell this software\n"
    "and its documentation for any purpose is hereby granted without\n"
    "fee, provided that the above copyright notice appears in all\n"
    "copies and that both that copyright notice and this permission\n"
    "notice appear in all supporting documentation. The Universitat de\n"
    "Barcelona makes no representations about the suitability of this\n"
    "software for any purpose. It is provided \"as is\" without express\n"
    "or implied warranty.\n";
