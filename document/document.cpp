// Document library.
