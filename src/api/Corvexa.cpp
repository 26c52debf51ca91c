// Exported functions of the library (placeholder until the render job lands).
