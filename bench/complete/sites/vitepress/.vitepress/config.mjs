// Served as /vitepress/ with the default theme: its client router moves between the pages, the
// appearance switch and the script in the head set dark mode, local search builds its index.
export default {
  base: '/vitepress/',
  outDir: process.env.OUT_DIR,
  title: 'Tide tables',
  description: 'Reading the tide tables of the harbour',
  lang: 'en-GB',
  head: [['link', { rel: 'icon', href: '/vitepress/img/buoy.png' }]],
  lastUpdated: false,
  vite: { logLevel: 'error' },
  themeConfig: {
    logo: '/img/buoy.png',
    nav: [
      { text: 'Home', link: '/' },
      { text: 'Guide', link: '/guide' },
    ],
    sidebar: [
      {
        text: 'Guide',
        items: [
          { text: 'Reading a table', link: '/guide' },
          { text: 'Harbours', link: '/harbours' },
        ],
      },
    ],
    search: { provider: 'local' },
    footer: { message: 'Kept by the harbour office.' },
  },
};
