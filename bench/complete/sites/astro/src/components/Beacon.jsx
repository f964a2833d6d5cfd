import { useEffect, useState } from 'preact/hooks';

// An island: the server renders it dark; once hydrated it lights up and flashes its pattern, so
// a page whose scripts did not run shows it dark.
export default function Beacon({ pattern }) {
  const [on, setOn] = useState(false);
  const [flashes, setFlashes] = useState(0);
  useEffect(() => {
    setOn(true);
    setFlashes(pattern.length);
  }, []);
  return (
    <div class={on ? 'beacon lit' : 'beacon'}>
      <span class="lamp" />
      <span>{on ? `Lit: ${flashes} flashes every cycle (${pattern.join(' ')})` : 'Beacon dark'}</span>
      <button type="button" onClick={() => setFlashes(flashes + 1)}>Add a flash</button>
    </div>
  );
}
