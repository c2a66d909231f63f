#pragma once

// Overwrites the file's bytes `rounds` times (random data and fixed patterns in turn), flushing
// each round to the disk, then truncates it, renames it to a random name and removes it. Non-zero
// when the file was wiped and removed. What overwriting cannot reach (copies kept by SSDs and by
// copy-on-write file systems, snapshots, backups) is described in the README.
int WipeFile(const char* path, char* errorText, int errorTextSize, int rounds, int reserved0);
