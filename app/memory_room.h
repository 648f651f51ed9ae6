// Room in memory for a picture, looked at before the GL driver is asked for it: the driver
// takes a pbuffer's memory when it first draws, and does not survive not getting it.
#pragma once

#include <string>

// Under an address-space limit (ulimit -v), keeps malloc to one arena, before the driver
// starts its threads: each would otherwise reserve 64 MiB of address space of its own, and
// the driver would not start under a limit that leaves the pictures plenty of room.
void FitDriverToAddressLimit();

// Whether a width x height render fits in what this process may still take: under its
// address-space limit (ulimit -v), in the memory its control group may still use, and in the
// memory the system has available. encoderBytesPerPixel is what the output format holds per
// pixel beside the driver's buffers and the read-back picture. Returns an empty string, or the
// line saying what the picture needs and what there is.
std::string CheckRoomForPicture(int width, int height, double encoderBytesPerPixel);
