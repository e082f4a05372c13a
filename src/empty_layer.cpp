// A layer without sources yet still forms a library.
namespace morwick_empty_layer { int placeholder = 0; }
