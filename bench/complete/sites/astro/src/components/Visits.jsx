import { useEffect, useState } from 'preact/hooks';

// An island hydrated when it comes into view: it draws the season's visits as bars.
export default function Visits({ months }) {
  const [shown, setShown] = useState([]);
  useEffect(() => setShown(months), []);
  return (
    <div class="visits">
      {shown.length === 0 ? <p>Visits load when shown.</p> : shown.map(([month, count]) => (
        <div class="bar" key={month} style={{ width: `${count * 4}px` }}>{month} {count}</div>
      ))}
    </div>
  );
}
