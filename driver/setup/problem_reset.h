// Returns every directive table and option of the problem to its state before
// the input is read (start-up, and between runs in the tests).
#pragma once

void ResetProblemDirectives();
