// The numbered messages of the embedded language.
#pragma once

// Copies the text of message `number` into destination (at most capacity - 1
// characters and a terminator); an unknown number gives the empty text.
void GetMessageText(int number, char* destination, int capacity);

// Number of entries in the message table.
int MessageCount();
