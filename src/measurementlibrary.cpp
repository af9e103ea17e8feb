// implemented by its owner
