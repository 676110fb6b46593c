// The functions the page's loader (varnock.js) gives the program: imports
// of the WebAssembly module from "varnock", by the name given.
#pragma once

#define VARNOCK_IMPORT(name) __attribute__((import_module("varnock"), import_name(name)))
