// libmorvelin-cxx.so: the C++ libraries linked whole; the declarations of
// include/morvelin/*.h are the ones with default visibility, and the version
// script (morvelin-cxx.map) keeps the export table inside namespace morvelin.
