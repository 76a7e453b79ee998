// Anchor of the asset library; the data itself comes from the embedded files.
namespace vorna_assets_anchor { int present = 1; }
