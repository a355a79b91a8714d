// Scene library.
