// Units, position formats and geodesy.
