// Placeholder until the type-safe formatted I/O lands.
#pragma once
