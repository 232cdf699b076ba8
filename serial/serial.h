#pragma once

// The Zorvan serial library: serial ports with their line settings, the
// options dictionary, the run loop that carries the library's reports, and
// its error values. Link zorvan::serial (CMake) or zorvan-serial (pkg-config).
#include "file_handle.h"
#include "line_settings.h"
#include "modem_lines.h"
#include "plain_run_loop.h"
#include "port_lock.h"
#include "run_loop.h"
#include "scripted_port_registry.h"
#include "serial_error.h"
#include "string_encoding.h"
#include "udev_port_registry.h"
#include "vx_serial_options.h"
#include "vx_serial_port.h"
#include "vx_serial_port_delegate.h"
#include "vx_serial_port_list.h"
#include "vx_standard_enumerator.h"
