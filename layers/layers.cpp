// Layers library.
