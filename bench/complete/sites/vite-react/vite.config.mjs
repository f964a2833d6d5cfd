// Served as /vite-react/ (the router's basename too); pictures and data come from public/.
export default {
  base: '/vite-react/',
  logLevel: 'error',
  build: { outDir: process.env.OUT_DIR, emptyOutDir: true, assetsInlineLimit: 0 },
};
