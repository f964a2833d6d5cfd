import { lazy, Suspense, useEffect, useState } from 'react';
import { Link, Route, Routes } from 'react-router-dom';
import styled from 'styled-components';

// The chart is a chunk of its own, loaded by the script when the page is shown.
const TideChart = lazy(() => import('./TideChart.jsx'));

const Banner = styled.header`
  background: linear-gradient(120deg, #0d3b66, #1e6f9f);
  color: #fff;
  padding: 28px 24px;
  nav a { color: #ffd54f; margin-right: 18px; font-weight: bold; text-decoration: none; }
  h1 { margin: 0 0 10px; font-size: 34px; }
`;

function Harbours() {
  const [harbours, setHarbours] = useState(null);
  useEffect(() => {
    fetch(`${import.meta.env.BASE_URL}data/harbours.json`)
      .then((answer) => answer.json())
      .then(setHarbours);
  }, []);
  if (!harbours) return <p>Loading the harbours…</p>;
  return (
    <div className="cards">
      {harbours.map((h) => (
        <div className="card" key={h.name}>
          <img src={import.meta.env.BASE_URL + h.picture} alt={h.name} />
          <p><b>{h.name}</b>: {h.depth} deep, {h.berths} berths</p>
        </div>
      ))}
    </div>
  );
}

function Home() {
  return (
    <>
      <h2>Harbours</h2>
      <Harbours />
      <tide-gauge level="3.2" max="6"></tide-gauge>
    </>
  );
}

function Tides() {
  return (
    <>
      <h2>Tides this week</h2>
      <tide-gauge level="4.8" max="6"></tide-gauge>
      <Suspense fallback={<p>Loading the chart…</p>}>
        <TideChart />
      </Suspense>
    </>
  );
}

function NotFound() {
  return <h2>Not found: this page does not exist</h2>;
}

export function App() {
  return (
    <>
      <Banner>
        <h1>Harbour almanac</h1>
        <nav>
          <Link to="/">Harbours</Link>
          <Link to="/tides/">Tides</Link>
        </nav>
      </Banner>
      <main>
        <Routes>
          <Route path="/" element={<Home />} />
          <Route path="/tides/" element={<Tides />} />
          <Route path="*" element={<NotFound />} />
        </Routes>
      </main>
    </>
  );
}
