// implemented by the format library work
