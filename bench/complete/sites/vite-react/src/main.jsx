import { createRoot } from 'react-dom/client';
import { BrowserRouter } from 'react-router-dom';
import { App } from './App.jsx';
import './gauge.js';
import './site.css';

createRoot(document.getElementById('root')).render(
  <BrowserRouter basename="/vite-react">
    <App />
  </BrowserRouter>,
);
