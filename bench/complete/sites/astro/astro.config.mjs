// Served as /astro/, static output; Preact renders the islands on the server and hydrates them
// in the browser.
import { defineConfig } from 'astro/config';
import preact from '@astrojs/preact';

export default defineConfig({
  base: '/astro/',
  outDir: process.env.OUT_DIR,
  output: 'static',
  // Caches stay in the build's own folder, not in the shared node_modules.
  cacheDir: './.cache/astro',
  integrations: [preact()],
  devToolbar: { enabled: false },
  vite: { logLevel: 'error', cacheDir: './.cache/vite' },
});
