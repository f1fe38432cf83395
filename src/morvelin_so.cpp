// libmorvelin.so: the conversion core linked whole; the version script
// (morvelin.map) exports the five host functions and nothing else.
