// Raster charts.
