// The chart view, the overlay objects and the own ship.
