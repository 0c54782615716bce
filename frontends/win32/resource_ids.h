#pragma once
// Resource identifiers, shared by the resource scripts and the code.

#define FU_HEADER_BITMAP 101
