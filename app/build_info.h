// What the program knows about its own build: the kit's build number and the
// time this program was compiled.
#pragma once

extern const char kBuildNumber[];

// "Build on Mmm dd yyyy hh:mm:ss (32-bit)"; with SOURCE_DATE_EPOCH set at build
// time the compiler takes the date and time from it, so releases reproduce.
extern const char *const g_buildStamp;
