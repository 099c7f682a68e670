// A shared object needs one source of its own; the layer check links a whole layer into it.
